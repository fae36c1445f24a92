/* An external routine for the scripts: how it was called and its arguments, an omitted one as "-". */
parse source . how .
out = how arg()
do i = 1 to arg()
  if arg(i, 'E') then out = out '[' || arg(i) || ']'
  else out = out '-'
end
return out
