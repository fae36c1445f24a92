/* Error 5 from a handler: Regina says 40; the runner's line says 5. */
/* status: 40 */
/* stderr: line 5: Incorrect call to routine */
/* stderr: Error 5: System resources exhausted in RTFAIL */
x = rtfail(5)
exit 9
