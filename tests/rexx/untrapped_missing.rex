/* Error 43 from a handler: Regina says 40; the runner's line says 43, with the library's text. */
/* status: 40 */
/* stderr: line 6: Incorrect call to routine */
/* stderr: Error 43: RtDial is not available in this build */
/* nostderr: Routine not found */
call rtfail 43, , 'RtDial is not available in this build'
exit 9
