/* REGINA_OPTIONS brings Regina's default back for every program, the external routines' too, as under regina. */
/* compare: regina */
/* env: REGINA_OPTIONS=EXT_COMMANDS_AS_FUNCS */
/* status: 5 */
/* macros: macros */
/* stderr: not found */
say 'a name that is no routine [' || 'no-such-routine'(1) || ']' rc
say 'inside an external routine' 'unknown'('no-such-routine')
exit 5
