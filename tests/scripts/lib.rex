
/* Routines every server script gets, appended to it by run_server_script. */

/* server(KEY): a value from the servers.env the test servers wrote. */
server: procedure
parse arg key
file = value('BREVANTO_SERVERS_ENV', , 'ENVIRONMENT')
if file = '' then return ''
found = ''
do while lines(file) > 0
  parse value linein(file) with name '=' rest
  if name = key then found = rest
end
call stream file, 'C', 'CLOSE'
return found
/* check(got, expected, what): 1 when they are equal (byte for byte), else says why and 0. */
check: procedure
parse arg got, expected, what
if got == expected then return 1
if length(got) > 80 | length(expected) > 80 then
  say 'FAIL' what': got' length(got) 'bytes, expected' length(expected)
else
  say 'FAIL' what': got "'got'", expected "'expected'"'
return 0

/* expect(got, expected, what): counts a failed check in FAILURES. */
expect: procedure expose failures
  parse arg got, expected, what
  if \check(got, expected, what) then failures = failures + 1
  return

/* syntax(expression, error, what): the expression must raise SYNTAX with that HALVORIN_ERROR;
   an empty error means it must not raise anything. */
syntax:
  parse arg expression, error, what
  signal on syntax name raised
  interpret 'value =' expression
  signal on syntax name unexpected
  if error \= '' then do
    say 'FAIL' what': no error, got "'value'"'
    failures = failures + 1
  end
  return
raised:
  signal on syntax name unexpected
  call expect halvorin_error, error, what
  return

unexpected:
  say 'FAIL unexpected error' rc 'on line' sigl':' condition('D') halvorin_message
  exit 1

/* writefile(file, data): the file holds data and nothing else (charout alone appends). */
writefile: procedure
  parse arg file, data
  call stream file, 'C', 'OPEN WRITE REPLACE'
  call charout file, data
  call stream file, 'C', 'CLOSE'
  return
