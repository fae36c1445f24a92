/* Report codes with each ErrorMode, as the script sees them. */
failures = 0
plain = '0x310000FB'; heading = '0x280000FB'
badplain = '0x31000000'; badheading = '0x28000000'

/* ErrorMode -1: the message (or number) is the function's value. */
call check rtfail(plain, -1, 'session handle not open'), 'session handle not open', 'plain result'
call check rtfail(heading, -1, 'server handle not open'), 'server handle not open', 'no heading on a value'
call check rtfail(plain, -1, '4'), '4', 'a message number'
call check rtfail(badheading, -1), '', 'no message at all'

/* ErrorMode 5: SYNTAX error 40. */
call syntax plain, 5, 'session handle not open', 'session handle not open'
call syntax heading, 5, 'session handle not open', 'runnertest error in RTFAIL: session handle not open'
call syntax badplain, 5, 'InetErr must be set', 'InetErr must be set'
call syntax badheading, 5, 'InetErr must be set', 'runnertest error in RTFAIL: InetErr must be set'
call syntax plain, 6, 'mode 6 names no condition', 'mode 6 names no condition'
call syntax plain, 207, 'mode 207 names none', 'mode 207 names none'
call syntax plain, -2, 'mode -2 names none', 'mode -2 names none'

/* ErrorMode 0, 1, 7 to 206: HALT, with the condition named in HALVORIN_CONDITION. */
call halt plain, 0, 'ERROR', 'no session', 'no session'
call halt plain, 1, 'FAILURE', 'no session', 'no session'
call halt heading, 0, 'ERROR', 'no session', 'runnertest error in RTFAIL: no session'
call halt plain, 7, 'USER 1', 'first', 'first'
call halt plain, 23, 'USER 17', 'seventeen', 'seventeen'
call halt badheading, 206, 'USER 200', 'last', 'runnertest error in RTFAIL: last'

/* CALL ON HALT: the clause completes with the message as its value; the
   routine runs once the next clause has run, then the script goes on. */
call on halt name onhalt
seen = 0
x = rtfail(plain, 0, 'called on')
y = seen
z = seen
call off halt
call check x, 'called on', 'CALL ON HALT: the value'
call check y, 0, 'CALL ON HALT: the next clause runs first'
call check z, 1, 'CALL ON HALT: then the routine'
do callline = sourceline() to 1 by -1 until sourceline(callline) = "x = rtfail(plain, 0, 'called on')"; end
call check haltline, callline, 'CALL ON HALT: SIGL is the line of the call'
exit failures <> 0

onhalt:
  seen = seen + 1
  haltline = sigl
  call check halvorin_condition halvorin_message, 'ERROR called on', 'CALL ON HALT: the variables'
  return

syntax:
  parse arg code, mode, text, message
  drop halvorin_condition halvorin_error halvorin_message
  signal on syntax name syntaxed
  x = rtfail(code, mode, text)
  signal off syntax
  say 'FAIL' code 'with ErrorMode' mode 'returned "' || x || '"'
  failures = failures + 1
  return
syntaxed:
  what = code 'with ErrorMode' mode
  call check rc condition('D'), '40 Incorrect call to routine', what 'RC'
  call check halvorin_condition halvorin_error, 'SYNTAX 40.1', what 'the condition'
  call check halvorin_message, message, what 'the message'
  return

halt:
  parse arg code, mode, condition, text, message
  drop halvorin_condition halvorin_error halvorin_message
  signal on halt name halted
  x = rtfail(code, mode, text)
  signal off halt
  say 'FAIL' code 'with ErrorMode' mode 'went on after the call'
  failures = failures + 1
  return
halted:
  what = code 'with ErrorMode' mode
  call check condition('C'), 'HALT', what 'the condition trapped'
  call check x, text, what 'the value'
  call check halvorin_condition, condition, what 'HALVORIN_CONDITION'
  call check halvorin_error, '', what 'HALVORIN_ERROR'
  call check halvorin_message, message, what 'HALVORIN_MESSAGE'
  return

check:
  parse arg got, want, what
  if got == want then return
  say 'FAIL' what': got "'got'", expected "'want'"'
  failures = failures + 1
  return
