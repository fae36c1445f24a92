/* Regina's own default, asked for by the script: a name found nowhere runs as a command, as under regina. */
/* compare: regina */
/* status: 5 */
/* macros: macros */
/* stderr: not found */
options EXT_COMMANDS_AS_FUNCS
say 'routine' 'showargs'('a', , 'b')
say 'a name that is no routine [' || 'no-such-routine'(1) || ']' rc
say 'brevanto beside it' rxfuncquery('showargs')
exit 5
