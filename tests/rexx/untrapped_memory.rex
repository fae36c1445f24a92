/* Error 5 from a handler: Regina can only say 48. */
/* status: 48 */
/* stderr: line 5: Failure in system service */
/* stderr: Error 48.1: Failure in system service: system resources exhausted in RTFAIL (error 5) */
x = rtfail(5)
exit 9
