/* Failures reach the script as under the runner: SYNTAX error 40 and HALT,
   with the HALVORIN_* variables saying what happened. */
failures = 0
call RxFuncAdd 'InetLoadFuncs', 'brevanto', 'InetLoadFuncs'
call InetLoadFuncs

call syntax "InetMaxIn(1, 2)", '40.4', 'Too many arguments in invocation of INETMAXIN; maximum expected is 1', 'INETMAXIN'
call syntax "InetConnectUrl()", '40.3', 'Not enough arguments in invocation of INETCONNECTURL; minimum expected is 2', 'INETCONNECTURL'
call syntax "InetOpen('BOGUS')", '40.28', 'INETOPEN argument 1, option must be one of the keywords INETOPEN accepts; found "BOGUS"', 'INETOPEN'

/* The library's own messages, as INETERR asks. */
call expect InetConnect('c', 'localhost'), 'session handle not open', 'INETERR unset: the message is the value'
ineterr = 'NUM'
call expect InetConnect('c', 'localhost'), 3, 'INETERR = NUM: its number'
ineterr = 'SYNTAX'
call syntax "InetConnect('c', 'localhost')", '40.1', 'session handle not open', 'INETCONNECT'
inetheading = 1
call syntax "InetConnect('c', 'localhost')", '40.1', 'brevanto error in INETCONNECT: session handle not open', 'INETCONNECT'
drop inetheading
ineterr = 'ERROR'
call halt 'ERROR'
ineterr = 'FAILURE'
call halt 'FAILURE'
ineterr = 17
call halt 'USER 17'

/* CALL ON HALT: the routine runs after the next clause, as under the runner. */
ineterr = 'ERROR'
halted = 0
call on halt name onhalt
x = InetConnect('c', 'localhost')
next = 1
call expect halted, 1, 'CALL ON HALT ran after the next clause'
call expect x, 'session handle not open', 'the call''s value was assigned first'
call off halt
drop ineterr
exit failures <> 0

onhalt:
  where = sigl
  halted = 1
  call expect next, 1, 'the clause after the call ran first'
  call expect where, 31, 'SIGL is the line of the call'
  return

/* syntax(expression, error, message, function): the call raises SYNTAX 40 with these. */
syntax:
  parse arg expression, error, message, function
  drop halvorin_error halvorin_message halvorin_function halvorin_condition
  signal on syntax name syntax.raised
  interpret 'x =' expression
  signal off syntax
  say 'FAIL' expression 'raised no error'
  failures = failures + 1
  return
syntax.raised:
  call expect rc, 40, expression 'RC'
  call expect condition('D'), 'Incorrect call to routine', expression 'description'
  call expect halvorin_condition, 'SYNTAX', expression 'HALVORIN_CONDITION'
  call expect halvorin_error, error, expression 'HALVORIN_ERROR'
  call expect halvorin_message, message, expression 'HALVORIN_MESSAGE'
  call expect halvorin_function, function, expression 'HALVORIN_FUNCTION'
  return

/* halt(condition): the failing call raises HALT; HALVORIN_CONDITION names the one meant. */
halt:
  parse arg condition
  drop halvorin_error halvorin_message halvorin_function halvorin_condition
  signal on halt name halt.raised
  x = InetConnect('c', 'localhost')
  signal off halt
  say 'FAIL' condition 'raised no HALT'
  failures = failures + 1
  return
halt.raised:
  call expect x, 'session handle not open', condition': the value came first'
  call expect halvorin_condition, condition, condition 'HALVORIN_CONDITION'
  call expect halvorin_error, '', condition 'HALVORIN_ERROR'
  call expect halvorin_message, 'session handle not open', condition 'HALVORIN_MESSAGE'
  call expect halvorin_function, 'INETCONNECT', condition 'HALVORIN_FUNCTION'
  return
