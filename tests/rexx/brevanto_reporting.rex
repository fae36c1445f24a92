/* brevanto.dll's own failures under each INETERR setting, as a script sees them. */
/* library: default */
failures = 0
/* No session: InetConnect reports "session handle not open", message 3. */
call check InetConnect('h', 'localhost'), 'session handle not open', 'INETERR unset: the message is the value'
ineterr = 'num'
call check inetconnect('h', 'localhost'), 3, 'INETERR NUM: the message number'
ineterr = 'Syntax'
call syntax 'session handle not open', 'SYNTAX'
inetheading = 1
call syntax 'brevanto error in INETCONNECT: session handle not open', 'SYNTAX with a heading'
drop inetheading
ineterr = 'ERRORS'
call syntax 'InetErr must be set to SYNTAX, ERROR, FAILURE, NUM, or a USER number from 1 to 200. Found ERRORS',,
  'a bad INETERR'
ineterr = 201
call syntax 'InetErr must be set to SYNTAX, ERROR, FAILURE, NUM, or a USER number from 1 to 200. Found 201',,
  'INETERR past 200'
ineterr = 'error'
call halt 'ERROR', 'session handle not open'
ineterr = 'FAILURE'
call halt 'FAILURE', 'session handle not open'
ineterr = 17
call halt 'USER 17', 'session handle not open'
inetheading = ''
call halt 'USER 17', 'brevanto error in INETCONNECT: session handle not open'
drop ineterr inetheading

/* InetMaxIn and InetTime. */
call check InetMaxIn(), 131072, 'the default maximum'
call check InetOpen(), '', 'InetOpen'
call check InetMaxIn(5000), 8192, 'a maximum rounded up to whole pages'
call check InetMaxIn(), 8192, 'kept'
call check InetTime(1), '', 'InetTime does nothing'
call check InetTime(1, 2), '', 'InetTime with two arguments'

/* A handle variable that holds no open handle: the message names the variable and shows its value. */
c9 = 'c9'
call handle 'INETCONNECT argument 1 must name a variable holding an open handle; variable C9 holds "c9"'
c9 = 94736790293040
call handle 'INETCONNECT argument 1 must name a variable holding an open handle; variable C9 holds "94736790293040"'
call check InetClose(), '', 'InetClose'
call check InetMaxIn(), 131072, 'the default again after InetClose()'
exit failures <> 0

handle:
  parse arg message
  signal on syntax name handled
  x = InetConnect('c9', 'localhost')
  signal off syntax
  say 'FAIL a stale handle returned "' || x || '"'
  failures = failures + 1
  return
handled:
  call check rc halvorin_condition halvorin_error, '40 SYNTAX 40.13', 'a stale handle'
  call check halvorin_message, message, 'a stale handle message'
  return

syntax:
  parse arg message, what
  signal on syntax name syntaxed
  x = InetConnect('h', 'localhost')
  signal off syntax
  say 'FAIL' what 'returned "' || x || '"'
  failures = failures + 1
  return
syntaxed:
  call check rc halvorin_condition halvorin_error, '40 SYNTAX 40.1', what
  call check halvorin_message, message, what 'message'
  return

halt:
  parse arg condition, message
  signal on halt name halted
  x = InetConnect('h', 'localhost')
  signal off halt
  say 'FAIL' condition 'went on after the call'
  failures = failures + 1
  return
halted:
  call check halvorin_condition, condition, condition
  call check halvorin_message, message, condition 'message'
  return

check:
  parse arg got, want, what
  if got == want then return
  say 'FAIL' what': got "'got'", expected "'want'"'
  failures = failures + 1
  return
