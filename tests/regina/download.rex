/* Under valgrind: the package loads, a download, a URL left open, and the
   process ends: the library closes it as the process ends. */
signal on syntax name unexpected
failures = 0
base = 'http://127.0.0.1:' || server('HTTP_PORT')
call expect InetOpen(), '', 'InetOpen'
call expect InetConnectUrl(base'/hello.txt', 'page', 'DOWNLOAD'), '', 'a download'
call expect length(page) > 0, 1, 'the page arrived'
call expect InetConnectUrl(base'/index.html', 'h'), '', 'a URL left open'
exit failures <> 0
