/* check(got, expected, what): 1 when they are equal (byte for byte), else says why and 0. */
parse arg got, expected, what
if got == expected then return 1
if length(got) > 80 | length(expected) > 80 then
  say 'FAIL' what': got' length(got) 'bytes, expected' length(expected)
else
  say 'FAIL' what': got "'got'", expected "'expected'"'
return 0
