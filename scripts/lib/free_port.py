#!/usr/bin/env python3
"""Prints a TCP port on 127.0.0.1 that is free now; with --check PORT, exits 0
when that port can be bound."""
import socket
import sys


def can_bind(port):
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


if len(sys.argv) == 3 and sys.argv[1] == "--check":
    sys.exit(0 if can_bind(int(sys.argv[2])) else 1)
with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    print(s.getsockname()[1])
