/* A HALT nobody traps ends the script after the clause that made the call. */
/* status: 252 */
/* stderr: Error 4 running */
call RxFuncAdd 'InetLoadFuncs', 'brevanto', 'InetLoadFuncs'
call InetLoadFuncs
ineterr = 'ERROR'
x = InetConnect('c', 'localhost')
say 'FAIL the script went on'
exit 0
