/* Routines and commands are found as under Regina's own command: both run this, the output must be the same. */
/* compare: regina */
/* status: 5 */
/* macros: macros */
/* nostderr: sh: */
say 'environment' address()
'exit 3'
say 'command' rc
address system 'exit 4'
say 'address system' rc
say 'routine' 'showargs'('a', , 'b')
call 'showargs' 'x'
say 'subroutine' result
say 'rxfuncquery' rxfuncquery('showargs') rxfuncquery('no-such-routine')
signal on syntax name missing
say 'a name that is no routine [' || 'no-such-routine'(1) || ']'
say 'not reached'
exit 6
missing:
say 'a name that is no routine: error' rc condition('D') 'at line' sigl
exit 5
