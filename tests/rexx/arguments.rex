/* Arguments as the handler sees them, and results of any length and content. */
failures = 0
call check rtargs(), '', 'no arguments'
call check rtargs(''), '0', 'an empty argument is given'
call check rtargs(, 'ab'), '- 2', 'an omitted argument is not an empty one'
call check rtargs('a', , '', 'abcd'), '1 - 0 4', 'omitted between given ones'
call check rtargs('a', , ), '1', 'trailing omitted arguments'

binary = 'a' || '00'x || 'b' || 'ff00'x
call check c2x(rtcopy(binary)), c2x(binary), 'zero bytes through an argument and the result'
call check rtcopy(binary, 'COPY'), 'a', 'a GetArgCopy copy read as C text ends at its first zero byte'
call check rtcopy(''), '', 'an empty result'
call check rtcopy(copies('xy', 5000)), copies('xy', 5000), 'a result of 10000 bytes'
long = rtlong(257)
call check length(long), 257, 'a result just over 256 bytes'
call check right(long, 7), '0123456', 'its last bytes'
call check length(rtlong(0)), 0, 'an empty result made by the library'
call check rtcaller(), 'arguments.rex Halvorin/1.0', 'the caller name'
call check rtmode(), 5, 'ErrorMode is 5 (SYNTAX) when a handler starts'
exit failures <> 0

check:
  parse arg got, want, what
  if got == want then return
  say 'FAIL' what': got "'got'", expected "'want'"'
  failures = failures + 1
  return
