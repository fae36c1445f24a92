/* What docs/functions.md tells a script, done as it says: the limit and how to size it, line ends, reads in steps. */
signal on syntax name unexpected
failures = 0
http = 'http://127.0.0.1:'server('HTTP_PORT')
size = server('PATTERN_SIZE')
call expect InetOpen(), '', 'InetOpen'

/* The maximum is rounded up to whole pages, and a read takes one page less. */
page = InetMaxIn(1)
call expect page, 4096, 'InetMaxIn(1) gives the page size'
call expect InetMaxIn(5000000), 5001216, 'InetMaxIn(5000000) is rounded up'
call expect InetMaxIn(size), (size + page - 1) % page * page, 'the maximum for the size itself'
data = 'untouched'
r = InetConnectUrl(http'/pattern.bin', 'data', 'DOWNLOAD')
call expect r, 'Attempt to access invalid address.'||'0d0a'x, 'the size itself is a page short'
call expect data, 'untouched', 'the variable keeps its value'
ineterr = 'NUM'
call expect InetConnectUrl(http'/pattern.bin', 'data', 'DOWNLOAD'), 487, 'the same with INETERR NUM'
drop ineterr
call InetMaxIn size + page
call expect InetConnectUrl(http'/pattern.bin', 'data', 'DOWNLOAD'), '', 'size + page fits'
call expect length(data), size, 'all of it'

/* Line ends stripped as the docs show. */
r = InetConnectUrl('http://127.0.0.1:1/', 'data', 'DOWNLOAD')
if right(r, 2) == '0d0a'x then r = left(r, length(r) - 2)
call expect r, 'A connection with the server could not be established', 'the message without its line end'

/* Reading in steps when the size is not known: no limit. */
call InetMaxIn 8192
r = InetConnectUrl(http'/pattern.bin', 'h')
call expect r, '', 'plain open'
data = ''
do until piece == ''
  r = InetIn('piece', , 65536)
  if r \= '' then leave
  data = data || piece
end
call expect r, '', 'no failure on the way'
call InetClose 'h'
call expect length(data), size, 'reads in steps take the whole file, far past the maximum'

/* The status from curl's command line, as the docs write it. */
url = http'/redirect'
address system 'curl -s -o /dev/null -w "%{http_code} %{redirect_url}" -- 'url,
  with output stem out.
parse var out.1 code location
call expect code location, '302' http'/hello.txt', 'the status and the Location from curl'
exit failures <> 0

expect: procedure expose failures
  parse arg got, expected, what
  if \check(got, expected, what) then failures = failures + 1
  return

unexpected:
  say 'FAIL unexpected error' rc 'on line' sigl':' condition('D') halvorin_message
  exit 1
