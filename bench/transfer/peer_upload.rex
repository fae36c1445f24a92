/* The peer for an upload of a value: CHAROUT to a file, curl -T from it. */
parse arg url source file
data = charin(source, 1, chars(source))
call stream source, 'c', 'close'
address system 'rm -f' file
call charout file, data
call stream file, 'c', 'close'
address system 'curl -s -f -o /dev/null -T' file url
exit rc \= 0
