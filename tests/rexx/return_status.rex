/* RETURN from the main program gives the exit status too. */
/* status: 12 */
return 12
