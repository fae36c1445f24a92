#!/usr/bin/python3
"""pyftpdlib on loopback for the tests: one user and anonymous.

    pyftpd_server.py PORT PASV_MIN PASV_MAX USER PASSWORD USER_HOME ANON_HOME ANON_WRITABLE LOG

The user may do everything in USER_HOME; anonymous may read ANON_HOME and
write in its folder ANON_WRITABLE. Passive data connections use the ports
PASV_MIN to PASV_MAX; active ones are allowed too. MLSD is on, as always in
pyftpdlib. Every command is logged to LOG.
"""

import logging
import os
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, FTPHandler
from pyftpdlib.servers import FTPServer


def keep_delegated_sockets():
    """pyftpdlib 1.5.7 hands an active data connection's socket to its
    DTPHandler but closes the ActiveDTP again when the session ends, which
    takes the socket's old descriptor number out of the I/O loop: by then
    another session's socket may have that number, and that session stops
    being served. Once the socket is handed on, closing the ActiveDTP does
    nothing."""
    connected = ActiveDTP.handle_connect

    def handle_connect(self):
        connected(self)
        if self.cmd_channel.data_channel is not None:
            self._closed = True

    ActiveDTP.handle_connect = handle_connect


def main(argv):
    keep_delegated_sockets()
    port, pasv_min, pasv_max = int(argv[1]), int(argv[2]), int(argv[3])
    user, password, user_home, anon_home, anon_writable, log = argv[4:10]
    logging.basicConfig(filename=log, level=logging.DEBUG, format="%(asctime)s %(message)s")
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, user_home, perm="elradfmwMT")
    authorizer.add_anonymous(anon_home, perm="elr")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # write rights for anonymous, on purpose
        authorizer.override_perm("anonymous", os.path.join(anon_home, anon_writable), "elradfmw", recursive=True)

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.passive_ports = range(pasv_min, pasv_max + 1)
    Handler.permit_foreign_addresses = False
    Handler.auth_failed_timeout = 0.2  # refusals come quickly, the tests have many
    server = FTPServer(("127.0.0.1", port), Handler)
    server.max_cons = 256
    server.serve_forever()


if __name__ == "__main__":
    main(sys.argv)
