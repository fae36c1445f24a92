/* Whole downloads, reads in steps and uploads through the library, against nginx and pygopherd. */
signal on syntax name unexpected
failures = 0
http = 'http://127.0.0.1:'server('HTTP_PORT')
https = 'https://localhost:'server('HTTPS_PORT')
root = server('HTTP_ROOT')
pattern = charin(root'/pattern.bin', 1, chars(root'/pattern.bin'))
call expect length(pattern), server('PATTERN_SIZE'), 'the pattern file read from disk'

call expect InetOpen(), '', 'InetOpen'

/* Whole downloads, byte for byte. */
call InetMaxIn length(pattern) + 4096
call expect InetConnectUrl(http'/pattern.bin', 'data', 'DOWNLOAD'), '', 'HTTP download'
call expect data, pattern, 'HTTP download, byte for byte'
drop data
call expect InetConnectUrl(https'/pattern.bin', 'data', 'DOWNLOAD RELOAD'), '', 'HTTPS download'
call expect data, pattern, 'HTTPS download, byte for byte'
groot = server('GOPHER_ROOT')
binary = charin(groot'/binary.bin', 1, chars(groot'/binary.bin'))
call expect InetConnectUrl('gopher://127.0.0.1:'server('GOPHER_PORT')'/9/binary.bin', 'data', 'DOWNLOAD'), '',,
  'Gopher download'
call expect data, binary, 'Gopher binary item, byte for byte'
call expect pos('00'x, binary) > 0, 1, 'the Gopher item holds zero bytes'
call expect InetConnectUrl(http'/empty.txt', 'data', 'DOWNLOAD'), '', 'an empty resource'
call expect data, '', 'an empty resource is the empty string'

/* The default limit: the reservation less one page. */
call expect InetClose(), '', 'InetClose() puts the maximum back'
call expect InetMaxIn(), 131072, 'the default maximum'
call expect InetOpen(), '', 'InetOpen again'
call writefile root'/limit-126976.bin', left(pattern, 126976)
call writefile root'/limit-126977.bin', left(pattern, 126977)
call expect InetConnectUrl(http'/limit-126976.bin', 'data', 'DOWNLOAD'), '', '126976 bytes fit'
call expect data, left(pattern, 126976), '126976 bytes, byte for byte'
data = 'untouched'
call expect InetConnectUrl(http'/limit-126977.bin', 'data', 'DOWNLOAD'),,
  'Attempt to access invalid address.'||'0d0a'x, 'one byte more does not fit'
call expect data, 'untouched', 'the variable keeps its value'

/* A hundred megabytes with the maximum raised. */
big = 100 * 1024 * 1024
address system 'truncate -s' big root'/big-100.bin'
call expect InetMaxIn(big + 4096), big + 4096, 'InetMaxIn raised'
call expect InetConnectUrl(http'/big-100.bin', 'data', 'DOWNLOAD'), '', '100 MiB download'
call expect length(data), big, '100 MiB arrived'
call expect verify(data, '00'x), 0, 'and all of it is the sparse file''s zeros'
drop data

/* 8 MiB of varied bytes down and up again, byte for byte: a large buffer's
   2 MiB chunks and their edges, a transfer paused and resumed many times,
   and the runner's large blocks. */
large = left(copies(pattern, 3), 8 * 1024 * 1024 + 5)
call writefile root'/large.bin', large
call expect InetMaxIn(length(large) + 4096) > length(large), 1, 'InetMaxIn raised for 8 MiB'
call expect InetConnectUrl(http'/large.bin', 'data', 'DOWNLOAD'), '', '8 MiB download'
call expect data == large, 1, '8 MiB, byte for byte'
drop data
call expect InetConnectUrl(http'/upload/large.bin', large, 'UPLOAD'), '', '8 MiB upload'
up = root'/upload/large.bin'
call expect charin(up, 1, chars(up)) == large, 1, 'the 8 MiB upload, byte for byte'
call stream up, 'C', 'CLOSE'
drop large

/* Reading in steps; the FREE option; the previous handle current again. */
call expect InetConnectUrl(http'/hello.txt', 'first'), '', 'plain open of the first URL'
call expect InetConnectUrl(http'/pattern.bin', 'second'), '', 'plain open of the second URL'
got = ''
do steps = 1 until piece == ''
  call expect InetIn('piece', , 100000), '', 'a read in steps'
  got = got || piece
end
call expect got, pattern, 'reads in steps, byte for byte'
call expect steps > 30, 1, 'many steps'
call expect InetIn('piece', 'FREE', 10), '', 'the end, with FREE'
call expect piece, '', 'nothing left'
call expect InetIn('rest'), '', 'the first URL is current again'
call expect rest, 'Hello from nginx'||'0a'x, 'the first URL''s body'
call expect InetClose('first'), '', 'close the first URL'
call expect InetIn('rest'), 'server handle not open', 'no handle left'

/* Upload by PUT and read it back. */
payload = 'line one'||'0d0a'x||'00 01 02 ff'x||'binary'||copies('xyz', 5000)
call expect InetConnectUrl(http'/upload/from-rexx.bin', payload, 'UPLOAD'), '', 'UPLOAD'
call expect InetConnectUrl(http'/upload/from-rexx.bin', 'back', 'DOWNLOAD RELOAD'), '', 'read the upload back'
call expect back, payload, 'the upload, byte for byte'
call expect InetConnectUrl(http'/upload/written.bin', 'h'), '', 'plain open for InetOut'
call expect InetOut('first part;'), '', 'InetOut'
call expect InetOut(' second part', 'FREE'), '', 'InetOut with FREE'
call expect InetConnectUrl(http'/upload/written.bin', 'back', 'DOWNLOAD RELOAD'), '', 'read the writes back'
call expect back, 'first part; second part', 'a second write on a handle appends'
r = InetConnectUrl(http'/refuse', 'up-data', 'UPLOAD')
call expect pos('403', r) > 0, 1, 'a refused upload gives the server''s reply: 'r

/* URLs that cannot be opened. */
call expect InetConnectUrl('http://127.0.0.1:1/', 'x', 'DOWNLOAD'),,
  'A connection with the server could not be established'||'0d0a'x, 'a refused port'
call expect InetConnectUrl('https://127.0.0.1:'server('HTTPS_UNTRUSTED_PORT')'/hello.txt', 'x', 'DOWNLOAD'),,
  'The certificate authority is invalid or incorrect'||'0d0a'x, 'an untrusted certificate'
call expect InetConnectUrl('nope://host/', 'x'), 'The URL does not use a recognized protocol'||'0d0a'x,,
  'an unknown scheme'
exit failures <> 0
