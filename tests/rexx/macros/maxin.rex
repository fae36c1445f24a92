/* An external routine that calls one of brevanto's functions itself. */
parse arg size
return InetMaxIn(size)
