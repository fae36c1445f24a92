/* server(KEY): a value from the servers.env the test servers wrote. */
parse arg key
file = value('BREVANTO_SERVERS_ENV', , 'ENVIRONMENT')
if file = '' then return ''
found = ''
do while lines(file) > 0
  parse value linein(file) with name '=' rest
  if name = key then found = rest
end
call stream file, 'C', 'CLOSE'
return found
