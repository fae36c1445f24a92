/* Handle values under REXX's default precision: whole numbers that compare
   exactly, and values of closed connections that name nothing, even after
   as many connections again were opened. */
signal on syntax name unexpected
failures = 0
httpPort = server('HTTP_PORT')
count = 40

call expect digits(), 9, 'the default NUMERIC DIGITS'
call expect InetOpen(), '', 'InetOpen()'
do i = 1 to count
  call InetConnect 'OLD.'i, '127.0.0.1', 'HTTP', , , httpPort
  call expect datatype(old.i, 'W'), 1, 'handle value' old.i 'is a whole number'
end
call expect pairsEqual('OLD.', 'OLD.'), 0, 'two open connections with equal handle values'

do i = 1 to count
  kept.i = old.i
  call InetClose 'OLD.'i
end
do i = 1 to count
  call InetConnect 'NEW.'i, '127.0.0.1', 'HTTP', , , httpPort
end
call expect pairsEqual('NEW.', 'KEPT.'), 0, 'a closed connection''s value equal to an open one''s'

/* A stale value names nothing: InetConnect refuses it, InetClose closes nothing. */
do i = 1 to count
  stale = kept.i
  call syntax "InetConnect('stale')", '40.13', 'a stale handle value' stale
  call InetClose 'stale'
end
do i = 1 to count
  call syntax "InetConnect('NEW."i"')", '', 'connection' i 'is still open'
end
call expect InetClose(), '', 'InetClose()'
exit failures <> 0

/* How many pairs of the two stems' elements 1 to count compare equal (=), each pair once. */
pairsEqual: procedure expose old. new. kept. count
  parse arg a, b
  equal = 0
  do i = 1 to count
    do j = 1 to count
      if a == b & j <= i then iterate
      if value(a || i) = value(b || j) then equal = equal + 1
    end
  end
  return equal
