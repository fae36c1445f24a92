/* Routines and commands are found as under Regina's own command: both run this, the output must be the same. */
/* compare: regina */
/* status: 5 */
/* macros: macros */
say 'environment' address()
'exit 3'
say 'command' rc
address system 'exit 4'
say 'address system' rc
say 'routine' 'showargs'('a', , 'b')
call 'showargs' 'x'
say 'subroutine' result
say 'a name that is no routine [' || 'no-such-routine'(1) || ']'
say 'rxfuncquery' rxfuncquery('showargs') rxfuncquery('no-such-routine')
exit 5
