#!/usr/bin/env python3
"""A plain SMTP server for tests that offers AUTH but no STARTTLS, and records every line
it is sent. It listens on all addresses, so that a client can reach it through an address
of this machine that is not a loopback one.

Usage: smtp_recorder.py LOGFILE PORTFILE STOPFILE
Writes its port to PORTFILE once it accepts connections; appends each received line to
LOGFILE; exits when STOPFILE appears (or after 120 seconds)."""
import os
import socket
import sys
import time


def serve(conn, log):
    f = conn.makefile("rwb")

    def say(text):
        f.write(text.encode() + b"\r\n")
        f.flush()

    say("220 recorder ESMTP")
    in_data = False
    for raw in f:
        line = raw.decode("latin-1").rstrip("\r\n")
        with open(log, "a") as out:
            out.write(line + "\n")
        if in_data:
            if line == ".":
                in_data = False
                say("250 queued")
            continue
        verb = line.split(" ", 1)[0].upper()
        if verb == "EHLO":
            say("250-recorder")
            say("250-AUTH PLAIN")
            say("250 8BITMIME")
        elif verb == "AUTH":
            if len(line.split()) < 3:  # no initial response: ask for the credentials
                say("334 ")
                with open(log, "a") as out:
                    out.write(f.readline().decode("latin-1").rstrip("\r\n") + "\n")
            say("235 accepted")
        elif verb == "DATA":
            in_data = True
            say("354 go on")
        elif verb == "QUIT":
            say("221 bye")
            break
        elif verb == "STARTTLS":
            say("502 not offered")
        else:
            say("250 ok")
    conn.close()


def main():
    log, portfile, stopfile = sys.argv[1:4]
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("0.0.0.0", 0))
    server.listen(5)
    server.settimeout(0.05)
    tmp = portfile + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(tmp, portfile)
    deadline = time.time() + 120
    while not os.path.exists(stopfile) and time.time() < deadline:
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        conn.settimeout(10)
        try:
            serve(conn, log)
        except OSError:
            conn.close()


if __name__ == "__main__":
    main()
