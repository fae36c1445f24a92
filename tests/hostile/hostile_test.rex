/* What a script sees of hostile input, its own and the servers'. */
signal on syntax name unexpected
failures = 0
http = 'http://127.0.0.1:'server('HTTP_PORT')
https = 'https://localhost:'server('HTTPS_PORT')
fault = 'http://127.0.0.1:'server('FAULT_PORT')
crlf = '0d0a'x

/* A line break in the agent would add lines to every request. */
call expect InetOpen(, , 'agent'crlf'X-Injected: 1'), 'The parameter is incorrect.'crlf, 'an agent with CR LF'
call expect InetOpen(, , 'hostile_test'), '', 'InetOpen'

/* Zero bytes are refused, not cut at. */
call syntax "InetConnectUrl(http'/hello.txt'||'00'x||'ignored', 'v')", '40.22', 'a URL with a zero byte'
call syntax "InetConnect('c', '127.0.0.1', 'FTP', 'user'||'00'x||'x', 'pw')", '40.22', 'an FTP user with a zero byte'
call syntax "InetConnectUrl(http'/hello.txt', 'a'||'00'x||'b c', 'DOWNLOAD')", '40.26', 'a variable name with a zero byte'
call expect symbol('A'), 'LIT', 'A was not set'
call expect InetConnectUrl(http'/echo', 'v', 'DOWNLOAD', 'X-Test: 1'||'00'x||crlf'X-Lost: 2'),,
  'The supplied HTTP header is invalid'crlf, 'a header with a zero byte'

/* Redirects between http and https need their option. */
call expect InetConnectUrl(https'/redirect-plain', 'v', 'DOWNLOAD'),,
  'A redirect request will change a secure to a non-secure connection'crlf, 'https to http'
call expect InetConnectUrl(https'/redirect-plain', 'v', 'DOWNLOAD HTTP'), '', 'https to http with HTTP'
call expect v, 'Hello from nginx'||'0a'x, 'the page it led to'

/* Gopher selectors stay one line. */
call expect InetConnectUrl('gopher://127.0.0.1:'server('GOPHER_PORT')'/0/a%0D%0Ab', 'v', 'DOWNLOAD'),,
  'The URL is invalid'crlf, 'a gopher selector with CR LF'

/* Trailers that never end. */
call expect InetConnectUrl(fault'/endless-trailers', 'v', 'DOWNLOAD'),,
  'The server returned an invalid or unrecognized response'crlf, 'endless trailers'

/* A refused login in many words: its first 199 characters. */
ftp = server('FTP_FAULT_PORT')
r = InetConnect('c', '127.0.0.1', 'FTP', 'long-refusal', 'any', ftp)
call expect length(r), 199, 'a long refusal is kept to 199 characters'
call expect left(r, 17), '530 Login refused', 'the server''s own words'

/* An upload opens its URL first (WinINet's InternetOpenUrlA sends a GET), then PUTs. */
key = 'hostile-'time('S')random(99999)
call expect InetConnectUrl(fault'/put-once?'key, 'the data', 'UPLOAD'), '', 'an upload'
methods = ''
log = server('FAULT_LOG')
do while lines(log) > 0
  line = linein(log)
  if pos('/put-once?'key' ', line) > 0 then methods = methods word(line, 1)
end
call expect strip(methods), 'GET PUT', 'the exchange of an upload'

call expect InetClose(), '', 'InetClose'
exit failures <> 0
