#!/usr/bin/python3
"""Launches the window once and times what it shows, from the milestones it writes to standard
error with KESTREL_MILESTONES=1 (see src/app/Session.cpp).

Usage: launch.py PROGRAM ROWS_TIMEOUT_S ALL_SONGS_WAIT_S
Waits up to ROWS_TIMEOUT_S for the play list rows, then up to ALL_SONGS_WAIT_S more for all
songs, ends the program and prints "window_ms=N rows_ms=N all_songs_ms=N" (-1: not seen), the
milliseconds from just before the program was started. Exits 1 when the program ended by itself
or showed no rows in time (its standard error follows).
"""

import os
import select
import signal
import subprocess
import sys
import time


def main():
    program, rows_timeout, all_wait = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    env = dict(os.environ, KESTREL_MILESTONES="1")
    start = time.monotonic_ns()  # the clock the milestones are given in
    proc = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seen, other, buffered = {}, [], b""
    deadline = time.monotonic() + rows_timeout
    ended = False
    while "all-songs" not in seen or "playlist-rows" not in seen:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        ready, _, _ = select.select([proc.stderr], [], [], left)
        if not ready:
            continue
        chunk = os.read(proc.stderr.fileno(), 65536)
        if not chunk:
            ended = True
            break
        buffered += chunk
        *lines, buffered = buffered.split(b"\n")
        for line in lines:
            words = line.decode(errors="replace").split()
            if len(words) == 3 and words[0] == "milestone":
                seen.setdefault(words[1], (int(words[2]) - start) / 1e6)
                if words[1] == "playlist-rows":
                    deadline = time.monotonic() + all_wait
            else:
                other.append(line.decode(errors="replace"))
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    print("window_ms=%.0f rows_ms=%.0f all_songs_ms=%.0f" % tuple(
        seen.get(name, -1) for name in ("window", "playlist-rows", "all-songs")))
    if ended or "playlist-rows" not in seen:
        print("the window %s" % ("ended by itself" if ended else "showed no play list rows in time"),
              file=sys.stderr)
        print("\n".join(other[-20:]), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
