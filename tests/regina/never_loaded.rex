/* A script that never loads the package: Regina runs an unknown name as a
   command, unless NOEXT_COMMANDS_AS_FUNCS makes it error 43. */
/* stderr: INETOPEN: not found */
failures = 0
call InetOpen
call expect rc, 127, 'the name ran as a command that the shell did not find'
options noext_commands_as_funcs
signal on syntax name notfound
call InetOpen
say 'FAIL no error 43'
exit 1
notfound:
call expect rc, 43, 'NOEXT_COMMANDS_AS_FUNCS: error 43'
call expect condition('D'), 'Error 43.1: Could not find routine "INETOPEN"', 'its description'
exit failures <> 0
