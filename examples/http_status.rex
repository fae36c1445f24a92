/* http_status.rex: HTTP status, what WinINet tells a script and what a script can do.

   WinINet takes any complete answer as success, whatever its status: the
   page of a 404 arrives as the data, and with NOREDIRECT a redirect's own
   page arrives without its Location. Brevanto passes that on, so a script
   learns the status from somewhere else. Two ways that work today:
   check the data for what you expect, and ask curl's command line.

   Run it with the demo's servers (HTTP_PORT in the environment) or give a
   base URL:  halvorin http_status.rex http://127.0.0.1:8080 */
parse arg base
if base = '' then base = 'http://127.0.0.1:' || value('HTTP_PORT', , 'ENVIRONMENT')
call InetOpen

say '-- What the library gives: an empty result, the error page as the data'
r = InetConnectUrl(base'/no-such-file.txt', 'page', 'DOWNLOAD')
say 'result "' || r || '", page holds' length(page) 'bytes titled "' || title(page) || '"'

say '-- A redirect under NOREDIRECT: the redirect''s own page, without its Location'
r = InetConnectUrl(base'/redirect', 'page', 'DOWNLOAD NOREDIRECT')
say 'result "' || r || '", page titled "' || title(page) || '"'

say '-- Way 1: know what to expect, and check the data'
r = InetConnectUrl(base'/hello.txt', 'page', 'DOWNLOAD')
if r = '' & left(page, 5) == 'Hello' then say 'hello.txt: the expected text'
r = InetConnectUrl(base'/no-such-file.txt', 'page', 'DOWNLOAD')
if r = '' & left(page, 5) \== 'Hello' then say 'no-such-file.txt: not what was asked for'

say '-- Way 2: ask curl''s command line for the status'
paths = '/hello.txt /no-such-file.txt /refuse /redirect'
do i = 1 to words(paths)
  parse value status(base || word(paths, i)) with code location
  line = left(word(paths, i), 18) 'status' code
  if location \= '' then line = line '-> Location' location
  say line
end
exit 0

/* The status of an HTTP answer, and a redirect's Location, from curl's
   command line: "404", "302 http://host/hello.txt"; "000" when nothing
   answered. curl follows the same proxy variables as the default access. */
status: procedure
  parse arg url
  quoted = "'" || changestr("'", url, "'\''") || "'"
  address system 'curl -s -o /dev/null -w "%{http_code} %{redirect_url}" --' quoted with output stem out.
  if out.0 = 0 then return '000'
  return out.1

/* The title of an HTML page, or the empty string. */
title: procedure
  parse arg text '<title>' title '</title>'
  return title
