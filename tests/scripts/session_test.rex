/* InetOpen, InetClose and InetConnect against the real HTTP and Gopher servers. */
signal on syntax name unexpected
failures = 0
httpPort = server('HTTP_PORT')
gopherPort = server('GOPHER_PORT')

/* No session yet. */
call expect InetConnect('h', '127.0.0.1', 'HTTP', , , httpPort), 'session handle not open', 'connect without session'
call expect InetClose(), '', 'InetClose() without a session'

call expect InetOpen(), '', 'InetOpen()'
call expect InetOpen('BAD'), '', 'a second InetOpen looks at nothing'

/* Two connections and switching between them. */
call expect InetConnect('web', '127.0.0.1', 'http', , , httpPort), '', 'HTTP connection'
call expect verify(web, '0123456789') = 0 & web > 0, 1, 'a handle value is a whole number'
call expect InetConnect('gopher', '127.0.0.1', 'Gopher', , , gopherPort), '', 'Gopher connection'
call expect InetConnect('web'), '', 'switch back to the HTTP connection'
call expect InetConnect('gopher', 'not looked at', 'NOT-A-SERVICE'), '', 'switch ignores the other arguments'

/* Misuse gives the errors that say what is wrong. */
call syntax "InetConnect('x', 'h', 'TELNET')", '40.28', 'unknown service'
call syntax "InetConnect('x', 'h', 'FTP', , , 'port')", '40.14', 'port not a number'
call syntax "InetConnect('x', 'h', 'FTP', , , , 'LAZY')", '40.28', 'unknown FTP mode'
call syntax "InetOpen('', 'NEAR')", '', 'a second InetOpen never fails' /* the session is open */
stale = 424242
call syntax "InetConnect('stale', 'h')", '40.13', 'a value that names no connection'

/* Closing one handle, a stale one, then everything. */
saved = gopher
call expect InetClose('gopher'), '', 'close the Gopher connection'
call expect symbol('gopher'), 'LIT', 'the variable is dropped'
gopher = saved
call expect InetClose('gopher'), '', 'close it again: nothing to close'
call expect symbol('gopher'), 'LIT', 'and the variable is dropped again'
call expect InetClose('unset'), '', 'close an unset variable'
call expect InetClose(), '', 'InetClose()'

/* A new session; the old handle values are still in their variables, but name nothing. */
call expect symbol('web'), 'VAR', 'the old handle value stays'
call expect InetOpen(, 'DIRECT', 'session_test'), '', 'a new session'
call syntax "InetConnect('web')", '40.13', 'an old handle value after InetClose()'
call expect InetConnect('web2', '127.0.0.1', , , , httpPort), '', 'a new connection in the new session'

/* A host that does not exist: an HTTP connection is only made when a request is sent. */
call expect InetConnectUrl('http://nowhere.invalid/', 'u'),,
  'The server name or address could not be resolved'||'0d0a'x, 'an unknown host'
call expect InetConnectUrl('http://127.0.0.1:1/', 'u'),,
  'A connection with the server could not be established'||'0d0a'x, 'a refused port'
exit failures <> 0
