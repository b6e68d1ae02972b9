#!/usr/bin/python3
"""Bulk TCP throughput, for checking the cable.

  throughput.py receive ADDRESS PORT   accepts one connection, prints "listening" first, reads
                                       to the end and prints the bytes, the seconds from the
                                       first byte to the end, and the rate in Mbit/s
  throughput.py send ADDRESS PORT MB   connects and sends MB megabytes
"""

import socket
import sys
import time


def receive(address, port):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(1)
    print("listening", flush=True)
    conn, _ = listener.accept()
    total, first = 0, None
    while True:
        data = conn.recv(1 << 16)
        if not data:
            break
        if first is None:
            first = time.monotonic()
        total += len(data)
    took = time.monotonic() - first if first is not None else 0.0
    print("received %d bytes in %.2f s: %.1f Mbit/s" % (total, took, total * 8 / took / 1e6 if took else 0.0))


def send(address, port, megabytes):
    conn = socket.create_connection((address, port), timeout=30)
    chunk = b"\0" * (1 << 16)
    left = megabytes * 1000000
    while left > 0:
        conn.sendall(chunk[:min(left, len(chunk))])
        left -= min(left, len(chunk))
    conn.shutdown(socket.SHUT_WR)
    conn.recv(1)
    conn.close()


if __name__ == "__main__":
    if sys.argv[1] == "receive":
        receive(sys.argv[2], int(sys.argv[3]))
    else:
        send(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
