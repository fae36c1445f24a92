/* A misspelt function name is REXX error 43, not a shell command: nothing runs, nothing goes on. */
/* library: default */
/* status: 43 */
/* stderr: Error 43 running */
/* stderr: Could not find routine "INETCONECTURL" */
/* nostderr: sh: */
/* nostderr: halvorin: */
failures = 0
signal on syntax name trapped
r = InetConectUrl('http://127.0.0.1:9/', 'page', 'DOWNLOAD')
say 'FAIL the misspelt call returned "' || r || '"'
exit 1
trapped:
if rc \= 43 then do
  say 'FAIL rc' rc
  exit 1
end
if symbol('HALVORIN_ERROR') \= 'LIT' then do
  say 'FAIL the runner was asked about a name it does not serve'
  exit 1
end
signal off syntax
/* Commands the script runs see the environment as it was given. */
address system 'test -z "${REGINA_OPTIONS+set}"'
if rc \= 0 then do
  say 'FAIL commands see REGINA_OPTIONS'
  exit 1
end
call InetConectUrl 'http://127.0.0.1:9/', 'page'
say 'FAIL not reached'
exit 1
