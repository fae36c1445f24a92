/* InetMatchName over a directory of 1,000 files on pyftpdlib (MLSD) and vsftpd (LIST),
   passive and active: each file exactly once, then DONE; what a listing holds up. */
signal on syntax name unexpected
failures = 0
crlf = '0d0a'x
if server('FTP_PORT') = '' | server('VSFTPD_PORT') = '' then do
  say 'FAIL the FTP servers are not in the test servers'
  exit 1
end

/* The same tree in both servers' folders, made here: file-0001.dat holds "1" and so on. */
dir = 'listing-1000'
do r = 1 to 2
  if r = 1 then root = server('FTP_ROOT')
  else root = server('VSFTPD_ROOT')
  address system 'mkdir -p "'root'/'dir'/sub"'
  do i = 1 to 1000
    call writefile root'/'dir'/file-'right(i, 4, '0')'.dat', i
  end
  call writefile root'/'dir'/other.txt', 'other'
end

call expect InetOpen(), '', 'InetOpen'
user = server('FTP_USER')
password = server('FTP_PASSWORD')
/* A name the server does not know: pyftpdlib refuses MLSD of it, vsftpd lists nothing. */
call listing 'pyftpdlib, passive', server('FTP_PORT'), user, password, '', '550 '
call listing 'pyftpdlib, active', server('FTP_PORT'), user, password, 'ACTIVE', '550 '
call listing 'vsftpd, passive', server('VSFTPD_PORT'), '', '', '', 'DONE'
call listing 'vsftpd, active', server('VSFTPD_PORT'), '', '', 'ACTIVE', 'DONE'
exit failures <> 0

listing: procedure expose failures crlf dir
  parse arg what, port, user, password, mode, unknown
  on = what':'
  call expect InetConnect('c', '127.0.0.1', 'FTP', user, password, port, mode), '', on 'login'
  call expect InetDir(dir), '', on 'into the directory'

  seen. = 0
  count = 0
  twice = 0
  badsize = 0
  do forever
    r = InetMatchName('f', 'file-*.dat')
    if r == 'DONE' then leave
    if \check(r, '', on 'a match') then do
      failures = failures + 1
      leave
    end
    count = count + 1
    if count = 1 then first = f
    parse var f 'file-' number '.dat'
    if seen.number then twice = twice + 1
    seen.number = 1
    if f.size <> length(number + 0) | f.directory <> 0 then badsize = badsize + 1
    if count > 1000 then leave
  end
  missing = 0
  do i = 1 to 1000
    number = right(i, 4, '0')
    if \seen.number then missing = missing + 1
  end
  call expect count missing twice badsize, '1000 0 0 0', on 'matches, missing, twice, wrong size'
  call expect InetMatchName('f', 'file-*.dat'), '', on 'a new enumeration after DONE'
  call expect f, first, on 'it starts from the first file'
  call expect InetMatchName('f', 'other.txt', 'BOGUS'), '', on 'arguments 2 and 3 wait for the next start'
  call expect left(f, 5) right(f, 4) (f \== first), 'file- .dat 1', on 'the enumeration goes on'

  /* While a listing is open the connection is busy; ending it frees it. */
  r = InetDir('cwd', 'GET')
  call expect r, 'There is already an FTP request in progress on this session'crlf, on 'busy connection'
  call expect InetMatchName(), '', on 'InetMatchName() ends the listing'
  call expect InetDir('cwd', 'GET'), '', on 'the connection is free again'

  call expect InetMatchName('f', 's*'), '', on 'a directory matches'
  call expect f f.directory f.attributes, 'sub 1 16', on 'the directory''s record'
  call expect InetMatchName('f', 's*'), 'DONE', on 'and nothing else'
  call expect InetMatchName('f', 'other.txt', 'ONE'), '', on 'a name without wildcards, ONE'
  call expect f f.size (f.writetime <> ''), 'other.txt 5 1', on 'its record'
  call expect InetDir('cwd', 'GET'), '', on 'ONE leaves no listing open'
  call expect InetMatchName('f', '*.zip'), 'DONE', on 'a pattern that matches nothing'
  r = InetMatchName('f', 'no-such-file')
  call expect left(r, 4), unknown, on 'a name the server does not know: 'r

  /* A listing goes on whichever connection is current, and ends with its own connection. */
  call expect InetMatchName('f', 'file-*'), '', on 'a listing'
  call expect InetConnect('other', '127.0.0.1', 'FTP', user, password, port, mode), '', on 'a second connection'
  call expect InetMatchName('f'), '', on 'the listing goes on with another connection current'
  call expect left(f, 5), 'file-', on 'the next match'
  call expect InetClose('c'), '', on 'close the listing''s connection'
  call expect InetMatchName('f'), 'The handle is invalid.'crlf, on 'the listing is gone with it'
  call expect InetMatchName('f', 'listing-*'), '', on 'a new listing on the other connection'
  call expect f f.directory, dir 1, on 'from its own directory'
  call expect InetConnect('c', '127.0.0.1', 'FTP', user, password, port, mode), '', on 'a third connection'
  call expect InetClose('other'), '', on 'close the second connection, its listing open'
  r = InetMatchName('f', 'file-*')
  call expect r, 'The handle is invalid.'crlf, on 'the next call meets the listing that ended with it'
  call expect InetMatchName('f', 'listing-*', 'ONE'), '', on 'the call after that starts afresh'
  call expect InetClose('c'), '', on 'close'
  return

