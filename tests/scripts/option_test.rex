/* InetOption against the real servers: the agent and the user name as nginx logs them, the HTTP
   version a request goes out with, a timeout that ends a read from a server that stalls, the
   certificate of an HTTPS handle, and a proxy set from a stem and read back. */
signal on syntax name unexpected
failures = 0
http = 'http://127.0.0.1:'server('HTTP_PORT')
https = 'https://localhost:'server('HTTPS_PORT')
fault = 'http://127.0.0.1:'server('FAULT_PORT')

/* No session yet: WinINet's settings for the whole process. */
call expect InetOption('CONNECT', 20000), '', 'a connect timeout for the process'
call expect InetOption('CONNECT', 'connect', 'query'), '', 'read back'
call expect connect, 20000, 'the process keeps it'
call expect InetOption('HTTPVERS', 'v.', ''), '', 'the HTTP version'
call expect v.0'.'v.1, '1.1', 'HTTP 1.1 by default'
call expect InetOption('VERSION', 'w.', 'q'), '', 'the WinINet version'
call expect w.0'.'w.1, '1.2', 'WinINet 1.2'
call expect InetOption('AGENT', 'a', 'q'), 'The supplied handle is the wrong type for the requested operation'||,
  '0d0a'x, 'no agent without a session'

/* The agent and the credentials set on the session reach the server. */
call expect InetOpen(, 'DIRECT', 'First/1.0'), '', 'InetOpen'
call expect InetOption('CONNECT', 'connect', 'q'), '', 'the session took the process setting'
call expect connect, 20000, 'a new session starts from the process setting'
call expect InetOption('AGENT', 'Options-Test/2.0'), '', 'the agent'
call expect InetOption('AGENT', 'agent', 'q'), '', 'the agent read back'
call expect agent, 'Options-Test/2.0', 'the agent is the text alone'
call expect InetOption('USER', server('HTTP_AUTH_USER')), '', 'the user name'
call expect InetOption('PASSWORD', server('HTTP_AUTH_PASSWORD')), '', 'the password'
marker = 'option-test-'random(1, 99999)
call expect InetConnectUrl(http'/auth/secret.txt?'marker, 'page', 'DOWNLOAD'), '', 'a page behind basic auth'
call expect page, 'behind basic auth'||'0a'x, 'the page'
call logged marker
call expect logged.who, server('HTTP_AUTH_USER'), 'the user name nginx logged'
call expect logged.browser, 'Options-Test/2.0', 'the agent nginx logged'

/* The HTTP version goes with every request of the process, whatever handle is current. */
call expect InetConnectUrl(http'/hello.txt', 'current'), '', 'a URL handle to be current'
call expect InetOption('HTTPVERS', '1.0'), '', 'HTTP 1.0'
call expect InetConnectUrl(http'/echo', 'page', 'DOWNLOAD'), '', 'the echo'
call expect echoed(page, 'protocol'), 'HTTP/1.0', 'the request went out as HTTP/1.0'
call expect InetOption('HTTPVERS', 'v.', 'q'), '', 'the version read back'
call expect v.0'.'v.1, '1.0', 'still 1.0'
call expect InetOption('HTTPVERS', '1.1'), '', 'back to HTTP 1.1'

/* What the current URL handle tells. */
call expect InetOption('TYPE', 'type', 'q'), '', 'its type'
call expect type, 13, 'an HTTP request'
call expect InetOption('URL', 'url', 'q'), '', 'its URL'
call expect url, http'/hello.txt', 'the URL alone'
call expect InetOption('FLAGS', 'flags', 'q'), '', 'its request flags'
call expect flags, 64, 'nothing cached here'
call expect InetOption('PARENT', 'parent', 'q'), '', 'its parent'
call expect datatype(parent, 'W') & parent > 0, 1, 'the session handle, a whole number'
call expect InetOption('DATAFILE', 'file', 'q'), 'The requested item could not be found'||'0d0a'x,,
  'no data file without USETEMP'
call expect InetOption('CERTIFICATE', 'c', 'q'), 'The requested operation is invalid'||'0d0a'x,,
  'no certificate without TLS'
call expect InetClose('current'), '', 'closed'

/* A timeout set on the current handle ends a read from a server that goes quiet. */
call expect InetConnectUrl(fault'/stall-body', 'stall'), '', 'a server that stalls after 10240 bytes'
call expect InetOption('RECEIVE', 1500), '', 'a 1.5 s receive timeout on that handle'
call time 'R'
data = 'untouched'
call expect InetIn('data'), 'The operation timed out'||'0d0a'x, 'the read times out'
took = time('E')
call expect took >= 1.2 & took < 10, 1, 'in about the time set ('took' s)'
call expect data, 'untouched', 'nothing stored from a read that failed'
call expect InetClose('stall'), '', 'closed'

/* The certificate of an HTTPS handle, as WinINet's text block. */
call expect InetConnectUrl(https'/hello.txt', 'secure'), '', 'an HTTPS URL'
call expect InetOption('CERTIFICATE', 'c', 'q'), '', 'its certificate'
parse var c 'Subject:' '0d0a'x subject '0d0a'x 'Issuer:' '0d0a'x issuer '0d0a'x 'Effective Date:' '09'x,
  from '0d0a'x 'Expiration Date:' '09'x till '0d0a'x 'Security Protocol:' '09'x protocol '0d0a'x rest
call expect subject, 'localhost', 'the subject'
call expect issuer, 'Brevanto Test CA', 'the issuer'
call expect verify(from, '0123456789-: ') = 0 & length(from) = 19, 1, 'when it took effect: 'from
call expect left(protocol, 5), 'TLSv1', 'the protocol'
call expect pos('Privacy Strength:'||'09'x||'High (', rest) > 0, 1, 'the key strength'
call expect pos('00'x, c), 0, 'no zero byte in the text'
call expect InetClose('secure'), '', 'closed'

/* A proxy from a stem, and back; nginx answers absolute URLs as a proxy does. */
p.0 = 'proxy'
p.1 = 'http=127.0.0.1:'server('HTTP_PORT')
p.2 = '<local>'
call expect InetOption('PROXY', 'p.'), '', 'a proxy for the session'
drop q.
call expect InetOption('PROXY', 'q.', 'q'), '', 'the proxy read back'
call expect q.0 '|' q.1 '|' q.2, 'PROXY |' p.1 '| <local>', 'the same three elements'
call expect InetConnectUrl('http://through-the-proxy.invalid/hello.txt', 'page', 'DOWNLOAD'), '',,
  'a download through the proxy'
call expect page, 'Hello from nginx'||'0a'x, 'what the proxy fetched'
p.0 = 'Direct'
drop p.1 p.2
call expect InetOption('PROXY', 'p.'), '', 'no proxy'
call expect InetOption('PROXY', 'q.', 'q'), '', 'read back'
call expect q.0 symbol('q.1') symbol('q.2'), 'DIRECT LIT LIT', 'no lists'
call expect InetConnectUrl('http://through-the-proxy.invalid/hello.txt', 'page', 'DOWNLOAD'),,
  'The server name or address could not be resolved'||'0d0a'x, 'direct again'
p.0 = 'PROXY'
p.1 = copies('x', 256)
call expect InetOption('PROXY', 'p.'), 'The data area passed to a system call is too small.'||'0d0a'x,,
  'a proxy list longer than 255 characters is refused'
p.0 = 'HTTP'
call syntax "InetOption('PROXY', 'p.')", '40.28', 'an access type that is none'
call syntax "InetOption('URL', 'x')", '40.28', 'URL cannot be set'
call syntax "InetOption('RETRIES', 'many')", '40.13', 'a number setting needs a number'

/* ONLINE: the machine's state as words, and its set form. */
call expect InetOption('ONLINE', 's.', 'q'), '', 'the connected state'
call expect wordpos(s.1, 'ON OFF') > 0 & s.2 = 'IDLE', 1, 'online or not, and idle: 's.1 s.2
call expect InetOption('ONLINE', 0), '', 'online'
call expect InetOption('ERROR', 'e', 'q'), '', 'the extended error'
call expect length(e), 4, 'four bytes as they lie'
exit failures <> 0

/* logged(marker): the user and the agent of the last logged request that holds the marker.
   nginx writes the line after the answer has gone, so it may come a moment after the page. */
logged: procedure expose logged.
  parse arg marker
  file = server('HTTP_ACCESS_LOG')
  logged.who = '<none>'
  logged.browser = '<none>'
  do try = 1 to 50 while logged.who = '<none>'
    if try > 1 then address system 'sleep 0.1'
    do while lines(file) > 0
      line = linein(file)
      if pos(marker, line) = 0 | pos('" 200 ', line) = 0 then iterate
      parse var line . ' - ' logged.who ' [' . '] "' . '" ' . . ' "' . '" "' logged.browser '"'
    end
    call stream file, 'C', 'CLOSE'
  end
  return

/* echoed(page, name): the value of a "name=value" line of /echo's answer. */
echoed: procedure
  parse arg page, name
  parse var page (name) '=' value '0a'x
  return value
