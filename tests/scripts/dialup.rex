/* InetDial in a network namespace with only loopback, through the test phonebook. */
signal on syntax name unexpected
failures = 0

call expect InetOption('ONLINE', 's.', 'q'), '', 'the connected state'
call expect s.1, 'OFF', 'only loopback: offline'
call expect device(), 0, 'no test connection yet'

/* A dial that fails is message 5. */
call expect InetDial('', , 'broken'), "can't dialup internet", 'a connection whose dial command fails'
inetErr = 'NUM'
call expect InetDial('', , 'broken'), 5, 'as its number'
drop inetErr
call syntax "InetDial('SOON', 'window')", '40.14', 'a window that is no number, before the options'
call syntax "InetDial('SOON')", '40.28', 'an option that is none'

/* Dialled by name: the connection comes up, and InetClose() hangs it up. */
call expect InetOpen(), '', 'a session'
call expect InetDial('unattended', 0, 'testnet'), '', 'dial the test connection'
call expect device(), 1, 'its interface is up'
call expect InetOption('ONLINE', 's.', 'q'), '', 'the connected state'
call expect s.1, 'ON', 'connected now'
call expect InetDial(), '', 'connected: there is nothing to dial'
call expect InetClose(), '', 'the session closes'
call expect device(), 0, 'and hangs up what the library dialled'

/* Dialled by default, hung up by the script. */
call expect InetDial(), '', 'autodial the default connection'
call expect device(), 1, 'up'
call expect InetDial('HANGUP'), '', 'hang up what autodial brought up'
call expect device(), 0, 'down'

/* Dialled again; the end of the script hangs it up (run_dialup_script looks). */
call expect InetOpen(), '', 'a session'
call expect InetDial(), '', 'autodial once more'
call expect device(), 1, 'up at the end of the script'
exit failures <> 0

/* device(): 1 when the test connection's interface exists. */
device: procedure
  trace off /* a missing interface is no failure to show */
  address system 'ip link show brev0 >/dev/null 2>&1'
  return rc = 0
