/* Every ErrorCode that is a REXX error, trapped with SIGNAL ON SYNTAX: Regina's error 40 each time, the kind in HALVORIN_ERROR. */
failures = 0
call expect "rtfail('0x50228')", '40.5',,
  'Missing argument in invocation of RTFAIL; argument 2 is required'
call expect "rtfail('0xD0128')", '40.13',,
  'RTFAIL argument 1 must be zero or positive; found "0xD0128"'
held = 'c9'
call expect "rtfail('0xD0328', , 'held')", '40.13',,
  'RTFAIL argument 3 must name a variable holding an open handle; variable HELD holds "c9"'
held = copies('1234567890', 10)
call expect "rtfail('0xD0328', , 'held')", '40.13',,
  'RTFAIL argument 3 must name a variable holding an open handle; variable HELD holds "' ||,
  copies('1234567890', 6) || '"...'
call expect "rtfail('0xD0328', , 'unset')", '40.13', 'RTFAIL argument 3 must be zero or positive; found "unset"'
call expect "rtfail('0x1A0328', , '1 a')", '40.26', 'RTFAIL argument 3 must be a valid symbol; found "1 a"'
call expect "rtfail('0xE0328', , '')", '40.14',,
  'RTFAIL argument 3 must be positive; found ""'
call expect "rtfail('0x1C0228', 5, 'Bogus')", '40.28',,
  'RTFAIL argument 2, option must be one of the keywords RTFAIL accepts; found "Bogus"'
call expect "rtkeyword('alpha, Delta gamma')", '40.28',,
  'RTKEYWORD argument 1, option must be one of the keywords RTKEYWORD accepts; found "Delta"'
call check rtkeyword('alpha, gamma'), 5, 'the keywords that are taken'
call expect "rtfail('0x150328', , 'x')", '40.21', 'RTFAIL argument 3 is not valid; found "x"'
call expect "rtfail('0x0A0028')", '40.10', 'Incorrect call to RTFAIL'
call expect "rtfail(5)", '5', 'System resources exhausted in RTFAIL'
call expect "rtfail(43, , 'RtWhatever is not available in this build')", '43',,
  'RtWhatever is not available in this build'
call expect "rtfail(43)", '43', 'Could not find routine "RTFAIL"'
call expect "rtfail(12345)", '40.1', 'External routine "RTFAIL" failed with error code 0x00003039'
call expect "rtfail('0x280000FC', 5, 'x')", '40.1', 'External routine "RTFAIL" failed with error code 0x280000FC'
exit failures <> 0

/* Runs `call` and expects SYNTAX error 40 with HALVORIN_ERROR `error` and HALVORIN_MESSAGE `message`. */
expect:
  parse arg call, error, message
  drop halvorin_condition halvorin_error halvorin_message halvorin_function
  signal on syntax name expected
  interpret 'x =' call
  signal off syntax
  say 'FAIL' call 'returned "' || x || '"'
  failures = failures + 1
  return
expected:
  call check rc, 40, call 'RC'
  call check condition('C') condition('D'), 'SYNTAX Incorrect call to routine', call 'condition'
  call check halvorin_condition, 'SYNTAX', call 'HALVORIN_CONDITION'
  call check halvorin_error, error, call 'HALVORIN_ERROR'
  call check halvorin_message, message, call 'HALVORIN_MESSAGE'
  call check halvorin_function, translate(left(call, pos('(', call) - 1)), call 'HALVORIN_FUNCTION'
  return

check:
  parse arg got, want, what
  if got == want then return
  say 'FAIL' what': got "'got'", expected "'want'"'
  failures = failures + 1
  return
