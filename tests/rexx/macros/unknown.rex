/* An external routine that calls the name it is given as a function. */
parse arg name
interpret 'x =' "'"name"'()"
return '[' || x || ']'
