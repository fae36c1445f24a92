/* An argument error nobody traps ends the script with Regina's message and the detail. */
/* status: 40 */
/* stderr: Error 40 running */
/* stderr: line 6: Incorrect call to routine */
/* stderr: Error 40.28: RTKEYWORD argument 1, option must be one of the keywords RTKEYWORD accepts; found "xyz" */
say rtkeyword('alpha xyz')
exit 9
