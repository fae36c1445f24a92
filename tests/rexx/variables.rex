/* GetVar and SetVar on Regina's pool, through a handler. */
failures = 0
/* plain variables, any bytes */
binary = '00'x || 'a' || '00ff'x || '00'x
call check rtsetvar('data', binary), 0, 'SetVar of binary data'
call check c2x(data), c2x(binary), 'the script sees every byte'
call check length(data), 5, 'its length'
call check c2x(rtgetvar('DATA')), c2x(binary), 'GetVar gives every byte back'
call check rtsetvar('Empty', ''), 0, 'an empty value'
call check symbol('EMPTY'), 'VAR', 'an empty value is a value'
call check rtsetvar('data'), 0, 'drop'
call check symbol('DATA'), 'LIT', 'dropped'
call check rtgetvar('data'), '(reason 45)', 'GetVar of a dropped variable'
call check rtsetvar('neverset'), 0, 'dropping a variable that has no value'
call check rtgetvar('1abc'), '(reason 31)', 'a name that is not a variable symbol'
call check rtgetvar('a b'), '(reason 31)', 'a name with a blank'
call check rtsetvar(''), 31, 'an empty name'

/* stems: elements, compound tails, the stem's value */
i = 3
call check rtsetvar('list.i', 'third'), 0, 'a compound name'
call check list.3, 'third', 'its tail is the value of I'
call check rtsetelement('list.', 1, 'first'), 0, 'element 1 of LIST.'
call check rtsetelement('list', 2, 'second'), 0, 'element 2, stem named without its dot'
call check list.1 list.2, 'first second', 'the elements'
call check rtgetelement('LIST', 3), 'third', 'GetVar of an element'
call check rtgetelement('list.', 4), '(reason 45)', 'an element without a value'
call check rtsetelement('list.', 2), 0, 'drop an element'
call check symbol('list.2'), 'LIT', 'the element is dropped'
s. = 'default'
call check rtgetvar('s.17'), 'default', 'an element takes the stem value'
call check rtsetvar('s.', 'new'), 0, 'assign the stem'
call check s.5, 'new', 'every element has the new value'
call check rtsetvar('s.5'), 0, 'drop an element of a stem with a value'
call check symbol('s.5'), 'LIT', 'it has no value then'

/* handle values: decimal text both ways */
call check rtsethandle('h'), h, 'a handle value is stored as its decimal text'
call check verify(h, '0123456789'), 0, 'decimal digits only'
call check rtgetnumber('h'), h, 'read back as a number'
n = ' 42 '
call check rtgetnumber('n'), 42, 'blanks around a number'
n = '4.2'
call check rtgetnumber('n'), '(reason 26)', 'not a whole number'
call check rtgetnumber('nothing'), '(reason 45)', 'a number without a value'

/* the find record */
t = 132223104000000000 /* 2020-01-01 00:00:00 UTC in FILETIME ticks */
call check rtfind('entry', 'report.txt', 5000000000, 32, t), 0, 'a find record'
call check entry, 'report.txt', 'the variable holds the name'
call check entry.name, 'report.txt', '.NAME'
call check entry.size, 5000000000, '.SIZE, 64 bits'
call check entry.attributes, 32, '.ATTRIBUTES'
call check entry.directory, 0, '.DIRECTORY'
call check entry.writetime, '2020-01-01 00:00:00', '.WRITETIME'
call check entry.altname, '', '.ALTNAME'
call check rtfind('dir.', 'sub', 0, 16, 0), 0, 'a find record into a stem'
call check dir.name dir.directory dir.size, 'sub 1 0', 'a directory'
call check dir.writetime, '', 'no write time'
call check symbol('dir.'), 'LIT', 'the stem itself is left alone'

call inner
exit failures <> 0

/* A handler writes the variables of the routine that called it. */
inner: procedure expose failures
  call check rtsetvar('local', 'x'), 0, 'SetVar inside a procedure'
  call check local, 'x', 'a local variable'
  call check rtgetvar('binary'), '(reason 45)', 'the caller''s variables are not visible'
  return

check:
  parse arg got, want, what
  if got == want then return
  say 'FAIL' what': got "'got'", expected "'want'"'
  failures = failures + 1
  return
