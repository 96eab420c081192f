#!/usr/bin/env python3
"""A loopback SMTP server for tests: stores every mail it receives in a Maildir.

Usage: smtp_sink.py MAILDIR PORTFILE STOPFILE
Writes the port it listens on to PORTFILE once it accepts connections, and exits when
STOPFILE appears (or after 120 seconds)."""
import os
import socket
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    maildir, portfile, stopfile = sys.argv[1:4]
    controller = None
    for _ in range(20):
        port = free_port()
        try:
            controller = Controller(Mailbox(maildir), hostname="127.0.0.1", port=port)
            controller.start()
            break
        except Exception:  # port taken meanwhile: try another
            controller = None
    if controller is None:
        sys.exit(1)
    tmp = portfile + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.rename(tmp, portfile)
    deadline = time.time() + 120
    while not os.path.exists(stopfile) and time.time() < deadline:
        time.sleep(0.05)
    controller.stop()


if __name__ == "__main__":
    main()
