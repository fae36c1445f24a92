/* One whole download through the library, as a script writes it. */
parse arg url size
call InetOpen
if size > 0 then call InetMaxIn size + 8192
r = InetConnectUrl(url, 'data', 'DOWNLOAD')
if r \= '' then do
  say 'download failed:' r
  exit 1
end
if size > 0 & length(data) \= size then do
  say 'got' length(data) 'bytes, expected' size
  exit 2
end
exit 0
