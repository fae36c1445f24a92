/* Regina's own command never says when the script is over, so a HALT asked
   for by the clause that ends the script is lost: the script ends as that
   clause says (the runner reports it). */
/* status: 23 */
call RxFuncAdd 'InetLoadFuncs', 'brevanto', 'InetLoadFuncs'
call InetLoadFuncs
ineterr = 'ERROR'
exit length(InetConnect('c', 'localhost'))
