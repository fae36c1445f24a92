/* tour.rex: a walk through Brevanto from a REXX script.
   Run it with scripts/demo, which starts local servers and tells the tour
   where they are (HTTP_PORT, GOPHER_PORT in the environment); without them
   the tour skips the steps that need a server. It runs through the runner
   (build/bin/halvorin examples/tour.rex) or, after scripts/install, under
   Regina's own command (regina examples/tour.rex): there it loads the
   functions itself. */
if RxFuncQuery('InetOpen') then do
  if RxFuncAdd('InetLoadFuncs', 'brevanto', 'InetLoadFuncs') <> 0 then do
    call lineout 'STDERR', 'Regina finds no brevanto package: run scripts/install first (see docs/regina.md).'
    exit 2
  end
  call InetLoadFuncs
end
http = value('HTTP_PORT', , 'ENVIRONMENT')
gopher = value('GOPHER_PORT', , 'ENVIRONMENT')

call step 'The library is loaded and its functions are registered'
maximum = InetMaxIn()
pagesize = InetMaxIn(1)  /* the smallest maximum is one page: the page size */
call InetMaxIn maximum   /* and back */
say 'InetMaxIn() is the maximum,' maximum 'bytes. A whole-resource read keeps a page'
say 'of room beyond its data, so it takes at most' maximum - pagesize 'bytes (one page,' pagesize 'bytes, less).'
say 'InetTime(1) does nothing and returns "' || InetTime(1) || '"'

call step 'InetOpen() opens the one Internet session'
call show 'InetOpen()', InetOpen()
call show 'InetOpen() again', InetOpen()

if http <> '' then do
  base = 'http://127.0.0.1:' || http
  call step 'InetConnectUrl(url, name, ''DOWNLOAD'') puts a whole resource into a variable'
  r = InetConnectUrl(base'/hello.txt', 'page', 'DOWNLOAD')
  call show 'InetConnectUrl('''base'/hello.txt'', ''page'', ''DOWNLOAD'')', r
  say 'page holds' length(page) 'bytes:' chomp(page)

  call step 'Without DOWNLOAD the URL stays open as the current handle'
  r = InetConnectUrl(base'/index.html', 'h')
  say 'h holds the handle value' h '(decimal text; keep it, do not compute with it)'
  r = InetIn('body')
  call show 'InetIn(''body'')', r
  say 'body:' chomp(body)
  call show 'InetClose(''h'')', InetClose('h')
  say 'h is' symbol('h') 'again: InetClose dropped it'

  call step 'A binary file: raise the maximum first, the data arrives byte for byte'
  size = value('PATTERN_SIZE', , 'ENVIRONMENT')
  if size <> '' then do
    say 'To read' size 'bytes whole, InetMaxIn(size + pagesize):' InetMaxIn(size + pagesize)
    r = InetConnectUrl(base'/pattern.bin', 'binary', 'DOWNLOAD')
    call show 'download of pattern.bin', r
    say 'binary holds' length(binary) 'bytes (the file has' size'), first bytes' c2x(left(binary, 8))
    say 'zero bytes in it:' countstr('00'x, binary)
  end

  call step 'An HTTP error status is no failure: its page is the data'
  r = InetConnectUrl(base'/no-such-file.txt', 'page', 'DOWNLOAD')
  call show 'download of a missing file', r
  parse var page '<title>' title '</title>'
  say 'page holds the server''s error page, titled "' || title || '"'
  say '(examples/http_status.rex shows how a script can tell)'

  call step 'InetConnectUrl(url, data, ''UPLOAD'') writes data to the URL (HTTP PUT)'
  text = 'Written by the tour at' time() || '00'x || 'with a zero byte'
  call show 'upload', InetConnectUrl(base'/upload/tour.bin', text, 'UPLOAD')
  r = InetConnectUrl(base'/upload/tour.bin', 'back', 'DOWNLOAD')
  say 'read back' length(back) 'bytes:' translate(back, '.', '00'x)
  say 'the same as sent:' (back == text)
end
if gopher <> '' then do
  call step 'Gopher works the same way'
  r = InetConnectUrl('gopher://127.0.0.1:'gopher'/0/text.txt', 'item', 'DOWNLOAD')
  call show 'gopher download', r
  say 'item:' translate(chomp(item), '  ', '0d0a'x)
end

call step 'A failed WinINet call makes the message text the result'
r = InetConnectUrl('http://127.0.0.1:1/', 'page', 'DOWNLOAD')
say 'InetConnectUrl to a port nobody listens on returned:' chomp(r)

call step 'InetClose() closes everything, the session too'
call show 'InetClose()', InetClose()

call step 'The library''s own failures are reported as INETERR says'
say 'Without a session, InetConnect fails with "session handle not open" (message 3).'
drop ineterr
say '  ' || left('INETERR unset:', 28) 'the result is "' || InetConnect('c', 'localhost') || '"'
ineterr = 'NUM'
say '  ' || left('INETERR = NUM:', 28) 'the result is' InetConnect('c', 'localhost')
ineterr = 'SYNTAX'
call syntax 'INETERR = SYNTAX'
inetheading = 1
call syntax 'SYNTAX, INETHEADING set'
drop inetheading
ineterr = 'ERROR'
call halt 'INETERR = ERROR'
ineterr = 17
call halt 'INETERR = 17'
ineterr = 'LOUD'
call syntax 'INETERR = LOUD'
drop ineterr

call step 'Wrong arguments are REXX error 40'
call badcall "InetOpen('BOGUS')"
call badcall "InetMaxIn(1, 2)"
call badcall "InetConnectUrl()"

call step 'The tour is over'
say 'When the script is over the library closes whatever is still open.'
exit 0

/* Messages from WinINet and the system end in CR LF. */
chomp: procedure
  parse arg text
  do while text <> '' & pos(right(text, 1), '0d0a'x) > 0
    text = left(text, length(text) - 1)
  end
  return text

step:
  say
  say '--' arg(1)
  return

show:
  if arg(2) == '' then say arg(1) 'succeeded (empty result)'
  else say arg(1) 'returned "' || chomp(arg(2)) || '"'
  return

/* Regina raises SYNTAX error 40 from a function; HALVORIN_* say more. */
syntax:
  parse arg what
  signal on syntax name syntax.trapped
  x = InetConnect('c', 'localhost')
  signal off syntax
  say '  ' what': no condition?'
  return
syntax.trapped:
  say '  ' || left(what':', 28) 'SYNTAX trapped, RC' rc || ', HALVORIN_ERROR' halvorin_error
  say copies(' ', 32) 'HALVORIN_MESSAGE "' || halvorin_message || '"'
  return

/* ERROR, FAILURE and USER conditions arrive as HALT; HALVORIN_CONDITION names the one meant. */
halt:
  parse arg what
  signal on halt name halt.trapped
  x = InetConnect('c', 'localhost')
  signal off halt
  say '  ' what': no condition?'
  return
halt.trapped:
  say '  ' || left(what':', 28) 'HALT trapped, HALVORIN_CONDITION "' || halvorin_condition || '"'
  say copies(' ', 32) 'HALVORIN_MESSAGE "' || halvorin_message || '"'
  return

badcall:
  parse arg call
  signal on syntax name badcall.trapped
  interpret 'x =' call
  signal off syntax
  say call 'returned "' || x || '"'
  return
badcall.trapped:
  say left(call, 22) 'error' halvorin_error || ':' halvorin_message
  return
