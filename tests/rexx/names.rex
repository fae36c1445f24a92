/* Registered names in any mix of case; the minimum and maximum argument counts. */
failures = 0
call check rtrange(1), 'ok', 'lower case'
call check RTRANGE(1), 'ok', 'upper case'
call check RtRange(1), 'ok', 'mixed case'
call check 'rTrAnGe'(1), 'ok', 'quoted, mixed case'
call RtRange 1
call check result, 'ok', 'called as a subroutine'
call check rxfuncquery('RtRange'), 0, 'known to Regina as an external function'
call check rtrange(1,,), 'ok', 'trailing omitted arguments do not count'
call check rtrange(1, 2), 'ok', 'the maximum'

/* Fewer than the minimum or more than the maximum: error 40.3 or 40.4, the handler not run. */
call expect 'rtrange()', '40.3', 'Not enough arguments in invocation of RTRANGE; minimum expected is 1'
call expect 'rtrange(,)', '40.3'
call check rtrange(,2), 'ok', 'an omitted first argument before a given one counts'
call expect 'rtrange(1, 2, 3)', '40.4', 'Too many arguments in invocation of RTRANGE; maximum expected is 2'
call expect 'rtrange(1, , , 4)', '40.4'
call expect 'rtcaller(1)', '40.4', 'Too many arguments in invocation of RTCALLER; maximum expected is 0'
call expect 'rtfind(a, b, c, d)', '40.3', 'Not enough arguments in invocation of RTFIND; minimum expected is 5'
call expect 'rtfind(a, b, c, d, e, f)', '40.4'
call expect 'rtargs(1,2,3,4,5,6,7,8)', '40.4'
exit failures <> 0

/* Runs `call` and expects error 40 with HALVORIN_ERROR `error` (and HALVORIN_MESSAGE `message` if given). */
expect:
  parse arg call, error, message
  halvorin_error = ''
  signal on syntax name expected
  interpret 'x =' call
  signal off syntax
  say 'FAIL' call 'returned "' || x || '"'
  failures = failures + 1
  return
expected:
  call check rc, 40, call 'RC'
  call check condition('D'), 'Incorrect call to routine', call 'description'
  call check halvorin_condition, 'SYNTAX', call 'HALVORIN_CONDITION'
  call check halvorin_error, error, call 'HALVORIN_ERROR'
  if message <> '' then call check halvorin_message, message, call 'HALVORIN_MESSAGE'
  return

check:
  parse arg got, want, what
  if got == want then return
  say 'FAIL' what': got "'got'", expected "'want'"'
  failures = failures + 1
  return
