/* An error nobody traps ends the script with Regina's message and status
   (256 - 40): Regina's own command shows no line of the runner's after it. */
/* status: 216 */
/* stderr: Error 40 running */
/* stderr: Incorrect call to routine */
call RxFuncAdd 'InetLoadFuncs', 'brevanto', 'InetLoadFuncs'
call InetLoadFuncs
call InetMaxIn 1, 2
say 'FAIL the script went on'
exit 0
