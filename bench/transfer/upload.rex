/* One whole upload of a value through the library, as a script writes it. */
parse arg url source
data = charin(source, 1, chars(source))
call stream source, 'c', 'close'
call InetOpen
r = InetConnectUrl(url, data, 'UPLOAD')
if r \= '' then do
  say 'upload failed:' r
  exit 1
end
exit 0
