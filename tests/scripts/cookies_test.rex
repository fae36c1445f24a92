/* Cookies a server sets come back with the next request, and are still
   in the store when the script ends (the store goes with wininet.dll). */
signal on syntax name unexpected
failures = 0
http = 'http://127.0.0.1:'server('HTTP_PORT')

call expect InetOpen(), '', 'InetOpen'
call expect InetConnectUrl(http'/cookies/set', 'data', 'DOWNLOAD'), '', 'a page that sets two cookies'
call expect InetConnectUrl(http'/echo', 'data', 'DOWNLOAD'), '', 'a page that shows them'
parse var data 'cookie=' sent '0a'x
call expect pos('session_c=s1', sent) > 0 & pos('persist_c=p1', sent) > 0, 1,,
  'both cookies sent back ('sent')'
call expect InetConnectUrl(http'/echo', 'data', 'DOWNLOAD NOCOOKIES'), '', 'NOCOOKIES'
parse var data 'cookie=' sent '0a'x
call expect sent, '', 'no cookie sent with NOCOOKIES'
exit failures <> 0
