/* InetDir, InetFile, InetRename, InetDelete and InetMatchName against pyftpdlib and
   vsftpd, passive and active: one whole round in a fresh directory on each. */
signal on syntax name unexpected
failures = 0
crlf = '0d0a'x
if server('FTP_PORT') = '' | server('VSFTPD_PORT') = '' then do
  say 'FAIL the FTP servers are not in the test servers'
  exit 1
end

/* A binary file without CR, so that a text download is the same with each LF made CR LF. */
bytes = xrange('00'x, '0c'x) || xrange('0e'x, 'ff'x)
content = ''
do i = 1 to 300
  content = content || bytes || 'line' i || '0a'x
end
call writefile 'original.bin', content

/* Local paths with a drive letter go through the drive table. */
userdir = value('PLATFORM_USER_DIR', , 'ENVIRONMENT')
address system 'mkdir -p "'userdir'/c-drive/from-ftp"'
call writefile userdir'/drives', 'C='userdir'/c-drive' || '0a'x

call expect InetOpen(), '', 'InetOpen'
user = server('FTP_USER')
password = server('FTP_PASSWORD')
call round 1, 'pyftpdlib, passive', server('FTP_PORT'), user, password, '', '', server('FTP_ROOT')
call round 2, 'pyftpdlib, active', server('FTP_PORT'), user, password, 'ACTIVE', '', server('FTP_ROOT')
call round 3, 'pyftpdlib anonymous', server('FTP_PORT'), '', '', '', server('FTP_ANON_WRITABLE'),,
  server('FTP_ANON_ROOT')
call round 4, 'vsftpd, passive', server('VSFTPD_PORT'), '', '', '', server('VSFTPD_WRITABLE'), server('VSFTPD_ROOT')
call round 5, 'vsftpd, active', server('VSFTPD_PORT'), '', '', 'ACTIVE', server('VSFTPD_WRITABLE'),,
  server('VSFTPD_ROOT')

/* A current directory of 259 characters fits the library's buffer; one more is a failure. */
call expect InetConnect('c', '127.0.0.1', 'FTP', user, password, server('FTP_PORT')), '', 'login for long names'
long = copies('d', 200)'/'copies('e', 57)
address system 'mkdir -p "'server('FTP_ROOT')'/'long'" "'server('FTP_ROOT')'/'long'f"'
call expect InetDir('/'long), '', 'a directory of 259 characters'
call expect InetDir('cwd', 'GET'), '', 'GET it'
call expect cwd, '/'long, 'all of it'
call expect InetDir('/'long'f'), '', 'one character more'
call expect InetDir('cwd', 'GET'), 'The data area passed to a system call is too small.'crlf, 'GET that'
call expect cwd, '/'long, 'the variable stays'
call expect InetClose('c'), '', 'close'
exit failures <> 0

round: procedure expose failures content crlf userdir
  parse arg k, what, port, user, password, mode, writable, root
  dir = 'round-'k
  folder = root
  remote = '/'dir
  if writable <> '' then do
    folder = root'/'writable
    remote = '/'writable'/'dir
  end
  on = what':'

  call expect InetConnect('c', '127.0.0.1', 'FTP', user, password, port, mode), '', on 'login'
  if writable <> '' then call expect InetDir(writable), '', on 'into the writable folder'
  call expect InetDir(dir, 'CREATE'), '', on 'make a directory'
  call expect InetDir(dir), '', on 'change into it'
  cwd = ''
  call expect InetDir('cwd', 'GET'), '', on 'GET the directory'
  call expect right(cwd, length(remote)), remote, on 'the directory the server reports'

  call expect InetFile('original.bin', 'data.bin', 'UPLOAD'), '', on 'upload'
  call expect readfile(folder'/'dir'/data.bin'), content, on 'the upload on the server''s disk'
  call expect InetMatchName('m', '*.bin'), '', on 'list with a pattern'
  call expect m '/' m.size '/' m.directory, 'data.bin /' length(content) '/ 0', on 'the match'
  call expect InetMatchName('m', '*.bin'), 'DONE', on 'one match only'
  call expect InetRename('data.bin', 'renamed.bin'), '', on 'rename'

  call expect InetFile('renamed.bin', 'binary.bin'), '', on 'binary download'
  call expect readfile('binary.bin'), content, on 'the binary download, byte for byte'
  call expect InetFile('renamed.bin', 'text.bin', 'TEXT'), '', on 'text download'
  call expect readfile('text.bin'), changestr('0a'x, content, crlf), on 'the text download has CR LF'

  /* Onto a local file that is there already. */
  call writefile 'binary.bin', 'older'
  call expect InetFile('renamed.bin', 'binary.bin', 'EXISTING'), 'The file exists.'crlf, on 'EXISTING'
  call expect readfile('binary.bin'), 'older', on 'a refused download leaves the local file'
  call expect InetFile('renamed.bin', 'binary.bin'), '', on 'a download replaces a local file'
  call expect readfile('binary.bin'), content, on 'the replaced file'

  call expect InetFile('renamed.bin', 'C:\from-ftp\copy'k'.bin'), '', on 'download to C:'
  call expect readfile(userdir'/c-drive/from-ftp/copy'k'.bin'), content, on 'the file under the drive''s folder'
  call expect InetFile('C:\from-ftp\copy'k'.bin', , 'UPLOAD'), '', on 'upload from C:, the name derived'
  call expect readfile(folder'/'dir'/copy'k'.bin'), content, on 'the upload from C:'

  /* The server's own words for what it refuses. */
  r = InetFile('no-such-file.bin', 'never.bin')
  call expect left(r, 4), '550 ', on 'a missing file: 'r
  call expect stream('never.bin', 'C', 'QUERY EXISTS'), '', on 'no local file after a failed download'
  call expect InetDir('..'), '', on 'back up'
  r = InetDir(dir, 'DELETE')
  call expect left(r, 4), '550 ', on 'a directory that is not empty: 'r
  if user = '' then do
    r = InetDelete('/readme.txt')
    call expect left(r, 4), '550 ', on 'a delete that anonymous may not do: 'r
    call expect stream(root'/readme.txt', 'C', 'QUERY EXISTS') <> '', 1, on 'the file stays'
  end
  else do
    r = InetDelete(dir)
    call expect left(r, 4), '550 ', on 'InetDelete on a directory: 'r
  end

  call expect InetDir(remote), '', on 'into the directory by its full name'
  call expect InetDelete('renamed.bin'), '', on 'delete'
  call expect InetDelete('copy'k'.bin'), '', on 'delete the second file'
  call expect InetMatchName('m', '*'), 'DONE', on 'the directory is empty'
  call expect InetDir('..'), '', on 'back up again'
  call expect InetDir(dir, 'DELETE'), '', on 'remove the directory'
  call expect InetMatchName('m', dir'*'), 'DONE', on 'the directory is gone'
  call expect InetClose('c'), '', on 'close'
  return

readfile: procedure
  parse arg file
  if stream(file, 'C', 'QUERY EXISTS') = '' then return ''
  data = charin(file, 1, stream(file, 'C', 'QUERY SIZE'))
  call stream file, 'C', 'CLOSE'
  return data

