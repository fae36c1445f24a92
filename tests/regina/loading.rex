/* Loading the package under Regina's own command: twice, dropped and loaded
   again, beside another package (regutil's SysLoadFuncs). */
failures = 0
names = 'InetClose InetConnect InetConnectUrl InetCookie InetDelete InetDial InetDir InetFile',
  'InetIn InetMatchName InetMaxIn InetOpen InetOption InetOut InetRename InetTime'

call expect RxFuncQuery('InetOpen'), 1, 'nothing is there before RxFuncAdd'
call expect RxFuncAdd('InetLoadFuncs', 'brevanto', 'InetLoadFuncs'), 0, 'RxFuncAdd finds the package'
call expect RxFuncQuery('InetOpen'), 1, 'nothing is there before InetLoadFuncs'
call expect InetLoadFuncs(), '', 'InetLoadFuncs'
call known 0, 'after InetLoadFuncs'
call expect RxFuncQuery('InetDropFuncs'), 0, 'InetDropFuncs comes with them'
call expect InetOpen(), '', 'InetOpen'
call expect InetOption('AGENT', 'agent', 'q'), '', 'the default agent'
call expect agent, 'loading.rex Halvorin/1.0', 'the agent names the script, as under the runner'
call expect InetConnect('h', 'localhost', 'HTTP'), '', 'a connection'
call expect datatype(h, 'N'), 1, 'the handle variable holds a number'

/* Again: the library stays loaded once, its session and handles with it. */
call expect InetLoadFuncs(), '', 'InetLoadFuncs again'
call known 0, 'after loading twice'
call expect InetConnect('h'), '', 'the connection is still there'

/* Dropped: Regina no longer knows them, InetLoadFuncs stays. */
call expect InetDropFuncs(), '', 'InetDropFuncs'
call known 1, 'after InetDropFuncs'
call expect RxFuncQuery('InetDropFuncs'), 1, 'InetDropFuncs is gone too'
call expect RxFuncQuery('InetLoadFuncs'), 0, 'InetLoadFuncs stays, as the script added it'
call expect InetLoadFuncs(), '', 'loading again'
call known 0, 'after loading again'
call expect InetConnect('h'), '', 'the connection outlived the drop'
call expect InetClose('h'), '', 'and closes'
call expect symbol('h'), 'LIT', 'InetClose dropped the handle variable'

/* Another package beside this one. */
call expect RxFuncAdd('SysLoadFuncs', 'regutil', 'SysLoadFuncs'), 0, 'RxFuncAdd finds regutil'
call SysLoadFuncs
call expect RxFuncQuery('SysSleep'), 0, 'regutil''s functions'
call expect InetMaxIn(), 131072, 'brevanto''s beside them'
call SysSleep 0
call expect InetTime(1), '', 'InetTime(1) after a regutil call'
call SysDropFuncs
call expect RxFuncQuery('SysSleep'), 1, 'regutil dropped'
call known 0, 'after regutil dropped its own'

/* The package's own functions take no arguments. */
signal on syntax name toomany
call InetLoadFuncs 'x'
say 'FAIL InetLoadFuncs with an argument raised nothing'
exit 1
toomany:
call expect rc, 40, 'an argument to InetLoadFuncs is error 40'
call expect halvorin_error, '40.4', 'HALVORIN_ERROR'
call expect halvorin_function, 'INETLOADFUNCS', 'HALVORIN_FUNCTION'
call expect halvorin_message, 'Too many arguments in invocation of INETLOADFUNCS; maximum expected is 0', 'HALVORIN_MESSAGE'
call known 0, 'a refused InetLoadFuncs changes nothing'
exit failures <> 0

/* known(query, what): RxFuncQuery gives `query` for each of the sixteen names. */
known:
  parse arg query, what
  do i = 1 to words(names)
    call expect RxFuncQuery(word(names, i)), query, word(names, i) what
  end
  return
