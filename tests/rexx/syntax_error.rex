/* A SYNTAX error that ends the script: its number is the status, Regina's message on stderr. */
/* status: 41 */
/* stderr: line 6: Bad arithmetic conversion */
say 'before'
a = 'one'
say a + 1
