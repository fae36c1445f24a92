/* The package is there but brevanto.dll is not: InetLoadFuncs fails as a
   function of the library does, and nothing is registered. */
/* without: brevanto.dll */
failures = 0
call expect RxFuncAdd('InetLoadFuncs', 'brevanto', 'InetLoadFuncs'), 0, 'RxFuncAdd finds the package'
signal on syntax name failed
call InetLoadFuncs
say 'FAIL InetLoadFuncs did not fail'
exit 1
failed:
call expect rc, 40, 'error 40'
call expect halvorin_condition, 'SYNTAX', 'HALVORIN_CONDITION'
call expect halvorin_error, '40.1', 'HALVORIN_ERROR'
call expect halvorin_function, 'INETLOADFUNCS', 'HALVORIN_FUNCTION'
call expect left(halvorin_message, 12), 'cannot load ', 'the message says what failed'
tail = '/lib/brevanto/brevanto.dll: The specified module could not be found. (error 126)'
call expect right(halvorin_message, length(tail)), tail, 'the file and why'
call expect RxFuncQuery('InetOpen'), 1, 'nothing is registered'
exit failures <> 0
