/* ftp_mirror.rex: copies a directory tree from an FTP server into a local folder.

     halvorin ftp_mirror.rex SERVER[:PORT] REMOTE-DIRECTORY LOCAL-FOLDER [USER PASSWORD] [ACTIVE]

   Without USER the login is anonymous; ACTIVE asks for active data connections.
   Each directory is listed whole with InetMatchName first, since the connection
   is busy while a listing is open; then its files are fetched with InetFile and
   each local size is checked against the listing, then InetDir descends into its
   subdirectories. Ends with status 0 when every file arrived with its size. */
parse arg server remote local user password mode .
if local = '' then do
  say 'usage: ftp_mirror.rex SERVER[:PORT] REMOTE-DIRECTORY LOCAL-FOLDER [USER PASSWORD] [ACTIVE]'
  exit 2
end
if translate(user) = 'ACTIVE' then do  /* anonymous, active */
  mode = user
  user = ''
end
parse var server host ':' port

files = 0
bytes = 0
folders = 0
problems = 0

call check InetOpen(), 'InetOpen'
call check InetConnect('ftp', host, 'FTP', user, password, port, mode), 'login to' server
if problems > 0 then exit 1
call check InetDir(remote), 'change to' remote
if problems > 0 then exit 1
call check InetDir('top', 'GET'), 'ask for the directory'
call mirror top, local
call InetClose

say 'Mirrored' files 'files,' bytes 'bytes, in' folders 'folders from' server || top 'into' local
if problems > 0 then say problems 'problems, see above'
exit problems > 0

/* mirror(directory, folder): the remote directory (a full path) into the local folder. */
mirror: procedure expose files bytes folders problems
  parse arg directory, folder
  if \check(InetDir(directory), 'change to' directory) then return
  address system 'mkdir -p "'folder'"'
  if rc <> 0 then do
    call problem 'cannot make the folder' folder
    return
  end
  folders = folders + 1

  /* The whole listing first: while it is open the connection does nothing else. */
  n = 0
  do forever
    r = InetMatchName('entry', '*')
    if r == 'DONE' then leave
    if \check(r, 'list' directory) then leave
    n = n + 1
    name.n = entry
    size.n = entry.size
    isdir.n = entry.directory
  end

  subdirectories = 0
  do i = 1 to n
    if isdir.i then do
      subdirectories = subdirectories + 1
      sub.subdirectories = name.i
      iterate
    end
    target = folder'/'name.i
    if \check(InetFile(name.i, target), 'fetch' directory'/'name.i) then iterate
    got = stream(target, 'C', 'QUERY SIZE')
    if got <> size.i then
      call problem directory'/'name.i 'has' size.i 'bytes on the server but' got 'here'
    else do
      files = files + 1
      bytes = bytes + got
      say right(got, 12) target
    end
  end

  base = directory
  if right(base, 1) <> '/' then base = base'/'
  do i = 1 to subdirectories
    call mirror base || sub.i, folder'/'sub.i
  end
  return

/* check(result, what): 1 when a function succeeded (empty result), else reports it. */
check: procedure expose problems
  parse arg result, what
  if result == '' then return 1
  call problem what 'failed:' strip(translate(result, '  ', '0d0a'x))
  return 0

problem: procedure expose problems
  parse arg text
  say 'PROBLEM' text
  problems = problems + 1
  return
