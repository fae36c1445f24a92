/* InetCookie against nginx: cookies a response sets, read back; a cookie the script sets, which
   nginx then receives; cookies that go again. */
signal on syntax name unexpected
failures = 0
http = 'http://127.0.0.1:'server('HTTP_PORT')

/* No session is needed to look into the store. */
call expect InetCookie(http'/', '', 'jar'), 'No more data is available.'||'0d0a'x, 'no cookies yet'
call expect symbol('jar'), 'LIT', 'the variable is left alone'

call expect InetOpen(), '', 'InetOpen'
call expect InetConnectUrl(http'/cookies/set', 'page', 'DOWNLOAD'), '', 'a response that sets two cookies'
call expect InetCookie(http'/', '', 'jar'), '', 'the cookies for the URL'
call expect sort(jar), 'persist_c=p1; session_c=s1', 'both, as WinINet lists them'
call expect pos('00'x, jar), 0, 'the text alone, no zero byte'
call expect InetCookie(http'/hello.txt', 'persist_c', 'one'), '', 'one cookie by its name'
call expect one, 'persist_c=p1', 'that cookie'

/* Set by the script, sent with the next request. */
call expect InetCookie(http'/', 'flavour', 'oatmeal; Path=/', 'SET'), '', 'a named cookie'
call expect InetCookie(http'/', '', 'size=large', 'set'), '', 'a cookie with its name in the data'
call expect InetConnectUrl(http'/echo', 'page', 'DOWNLOAD'), '', 'a request'
parse var page 'cookie=' sent '0a'x
call expect sort(sent), 'flavour=oatmeal; persist_c=p1; session_c=s1; size=large', 'what nginx received'
call expect InetCookie('http://elsewhere.example/', 'flavour', 'x; domain=127.0.0.1', 'SET'),,
  'The parameter is incorrect.'||'0d0a'x, 'a cookie for another host is refused'

/* Cookies go: one the server expires, then the session's with FLUSH. */
call expect InetConnectUrl(http'/cookies/expire', 'page', 'DOWNLOAD'), '', 'a response that expires one'
call expect InetCookie(http'/', '', 'jar'), '', 'the cookies left'
call expect sort(jar), 'flavour=oatmeal; session_c=s1; size=large', 'persist_c is gone'
call expect InetOption('FLUSH', ''), '', 'the browser session ends'
call expect InetCookie(http'/', '', 'jar'), 'No more data is available.'||'0d0a'x, 'session cookies are gone'

/* What is not a cookie call. */
call syntax "InetCookie('"http"/')", '40.5', 'reading needs a variable'
call syntax "InetCookie('"http"/', '', 'jar', 'SET CRUMBLE')", '40.28', 'an option that is none'
call expect InetCookie('nonsense', 'a', 'b', 'SET'), 'The URL does not use a recognized protocol'||'0d0a'x,,
  'a URL that is none'
exit failures <> 0

/* sort(cookies): "n=v; n=v" in the order of their names, so that a check need not know the store's order. */
sort: procedure
  parse arg list
  n = 0
  do while list \= ''
    parse var list item '; ' list
    n = n + 1
    item.n = item
  end
  do i = 1 to n
    do j = i + 1 to n
      if item.j << item.i then parse value item.i item.j with item.j item.i
    end
  end
  out = ''
  do i = 1 to n
    out = out || item.i || copies('; ', i < n)
  end
  return out
