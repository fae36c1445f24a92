/* options.rex: WinINet options and cookies from a REXX script.
   scripts/demo runs it with local servers and tells it where nginx is
   (HTTP_PORT in the environment); without one it skips the steps that
   need a server. */
http = value('HTTP_PORT', , 'ENVIRONMENT')

call step 'Without a session, InetOption reads and sets WinINet''s settings for the process'
call InetOption 'HTTPVERS', 'version.', 'query'
say 'HTTP version:' version.0'.'version.1
call InetOption 'ONLINE', 'state.', 'query'
say 'connected state:' state.1 '(' || state.2 || ')'

call step 'A session with a receive timeout and an agent of its own'
call InetOpen
call InetOption 'RECEIVE', 5000
call InetOption 'AGENT', 'options.rex (Brevanto example)'
call InetOption 'RECEIVE', 'timeout', 'query'
call InetOption 'AGENT', 'agent', 'query'
say 'receive timeout:' timeout 'ms'
say 'agent: "' || agent || '"'

if http <> '' then do
  base = 'http://127.0.0.1:' || http
  call step 'The server sees the agent (nginx''s /echo answers with what it received)'
  call check InetConnectUrl(base'/echo', 'page', 'DOWNLOAD')
  say 'nginx received User-Agent:' echoed('user-agent')

  call step 'A cookie comes: a response sets two, InetCookie reads them'
  call check InetConnectUrl(base'/cookies/set', 'page', 'DOWNLOAD')
  call check InetCookie(base'/', '', 'jar')
  say 'cookies for' base'/:' jar

  call step 'A cookie the script sets goes with the next request'
  call check InetCookie(base'/', 'flavour', 'oatmeal', 'SET')
  call check InetConnectUrl(base'/echo', 'page', 'DOWNLOAD')
  say 'nginx received Cookie:' echoed('cookie')

  call step 'Cookies go: the server expires one, FLUSH ends the browser session'
  call check InetConnectUrl(base'/cookies/expire', 'page', 'DOWNLOAD')
  call check InetCookie(base'/', '', 'jar')
  say 'after the server expired persist_c:' jar
  call InetOption 'FLUSH', ''
  r = InetCookie(base'/', '', 'jar')
  say 'after FLUSH:' left(r, length(r) - 2) '(the message, without its CR LF)'
end

call step 'The HTTP version and the connected state once more'
call InetOption 'HTTPVERS', '1.0'
call InetOption 'HTTPVERS', 'version.', 'query'
say 'HTTP version now:' version.0'.'version.1
call InetOption 'HTTPVERS', '1.1'
call InetOption 'ONLINE', 'state.', 'query'
say 'connected state:' state.1 '(' || state.2 || ')'
call InetClose
exit 0

step:
  say
  say '---' arg(1)
  return

/* A failed WinINet call makes the message the result; an example stops there. */
check:
  if arg(1) == '' then return
  say 'failed:' arg(1)
  exit 1

echoed: procedure expose page
  parse arg name
  parse var page (name) '=' value '0a'x
  return value
