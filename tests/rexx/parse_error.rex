/* A script Regina cannot parse does not run at all. */
/* status: 64 */
/* stderr: Error 64 running */
/* stderr: Syntax error at line 6 */
exit 9
say 1 +
