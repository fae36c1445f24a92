/* External REXX routines from a folder in REGINA_MACROS, beside brevanto's functions in one script. */
/* library: default */
/* macros: macros */
failures = 0
call check 'showargs'('a', , 'c d'), 'FUNCTION 3 [a] - [c d]', 'a function with arguments, one omitted'
call check 'showargs'(), 'FUNCTION 0', 'no arguments'
call 'showargs' 'x y'
call check result, 'SUBROUTINE 1 [x y]', 'called as a subroutine'
call check InetMaxIn(), 131072, 'brevanto''s function in the same script'
call check 'showargs'(InetMaxIn(), 'two'), 'FUNCTION 2 [131072] [two]', 'brevanto''s value as an argument'
call check 'maxin'(5000), 8192, 'brevanto''s function called by the external routine'
call check InetMaxIn(), 8192, 'what it set, seen by the script'

/* A brevanto failure, trapped; the routines are found as before. */
signal on syntax name trapped
call InetOpen 'BOGUS'
say 'FAIL InetOpen BOGUS returned'
failures = failures + 1
trapped:
signal off syntax
call check rc halvorin_function halvorin_error, '40 INETOPEN 40.28', 'the failure'
call check 'showargs'(halvorin_error), 'FUNCTION 1 [40.28]', 'a routine after the failure'
call check InetClose(), '', 'InetClose'
exit failures <> 0

check:
  parse arg got, want, what
  if got == want then return
  say 'FAIL' what': got "'got'", expected "'want'"'
  failures = failures + 1
  return
