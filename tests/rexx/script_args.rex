/* The ARGs reach the script as one argument string joined by blanks. */
/* args: one two  three */
if arg() <> 1 then exit 1
if arg(1) \== 'one two three' then exit 2
parse source . how .
if how <> 'COMMAND' then exit 3
exit 0
