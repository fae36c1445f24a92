/* Error 43 from a handler: Regina's message, then the library's. */
/* status: 43 */
/* stderr: line 6: Routine not found */
/* stderr: Error 43.1: Could not find routine "RTFAIL" */
/* stderr: RtDial is not available in this build */
call rtfail 43, , 'RtDial is not available in this build'
exit 9
