/* Without ARGs the script gets no argument at all. */
if arg() <> 0 then exit 1
if arg(1, 'E') then exit 2
exit 0
