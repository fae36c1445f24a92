/* The peer a Regina user has without a library: curl into a file, CHARIN into a variable. */
parse arg url size file
address system 'curl -s -f -o' file url
if rc \= 0 then exit 1
data = charin(file, 1, chars(file))
call stream file, 'c', 'close'
if size > 0 & length(data) \= size then exit 2
exit 0
