/* brevanto.dll's sixteen functions: registered, callable in any case, their argument counts enforced. */
/* library: default */
failures = 0
functions = 'InetClose 0 1, InetConnect 0 7, InetConnectUrl 2 4, InetCookie 1 5, InetDelete 1 1,',
  'InetDial 0 3, InetDir 1 2, InetFile 1 4, InetIn 1 3, InetMatchName 0 3, InetMaxIn 0 1, InetOpen 0 5,',
  'InetOption 2 3, InetOut 1 2, InetRename 2 2, InetTime 1 2'
count = 0
do while functions <> ''
  parse var functions name min max ',' functions
  count = count + 1
  call check rxfuncquery(name), 0, name 'is registered'
  /* alternate the case of every other letter */
  odd = ''
  do i = 1 to length(name)
    c = substr(name, i, 1)
    if i // 2 then odd = odd || translate(c)
    else odd = odd || translate(c, xrange('a', 'z'), xrange('A', 'Z'))
  end
  call expect odd || '(' || arguments(max + 1) || ')', '40.4',,
    'Too many arguments in invocation of' translate(name) || '; maximum expected is' max
  if min > 0 then
    call expect odd || '(' || arguments(min - 1) || ')', '40.3',,
      'Not enough arguments in invocation of' translate(name) || '; minimum expected is' min
end
call check count, 16, 'functions listed'
exit failures <> 0

arguments: procedure
  parse arg n
  list = ''
  do i = 1 to n
    list = list || ifcomma(i) || "'x'"
  end
  return list
ifcomma: return copies(',', arg(1) > 1)

expect:
  parse arg call, error, message
  signal on syntax name expected
  interpret 'x =' call
  signal off syntax
  say 'FAIL' call 'returned "' || x || '"'
  failures = failures + 1
  return
expected:
  call check rc halvorin_error, 40 error, call
  call check halvorin_message, message, call 'message'
  return

check:
  parse arg got, want, what
  if got == want then return
  say 'FAIL' what': got "'got'", expected "'want'"'
  failures = failures + 1
  return
