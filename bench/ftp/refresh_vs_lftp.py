#!/usr/bin/python3
"""The play list refresh as a whole process against lftp doing the same listing.

Serves a tree of 200 play lists of 50 songs with pyftpdlib on 127.0.0.1 and times, interleaved,
`kestrel-cli playlists` and lftp (active mode) listing the root and then every play list with
`cls -1`, each as a whole process. Also times N + 2 NOOP round trips on one logged-in connection
to the same server: the least any refresh of N play lists over one connection can cost. Prints
medians and ratios; never judges.

Usage: bench/ftp/refresh_vs_lftp.py [--cli PATH] [--rounds N] [--server-option OPTION]
         (--server-option, repeatable, goes to tests/support/ftp_test_server.py: --no-stat-path
         times the refresh over data connections, as on a server that refuses STAT with a path)
       bench/ftp/refresh_vs_lftp.py --serve [--cli PATH]
         sets everything up, prints the two commands (one a line) and serves until stdin closes,
         for timing them with another tool.
"""

import argparse
import ftplib
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
SERVER = os.path.join(ROOT, "tests", "support", "ftp_test_server.py")
PLAY_LISTS = 200
SONGS = 50


def make_tree(root):
    for p in range(1, PLAY_LISTS + 1):
        folder = os.path.join(root, "Play List %03d" % p)
        os.mkdir(folder)
        for s in range(1, SONGS + 1):
            with open(os.path.join(folder, "%02d Song number %d.mp3" % (s, s)), "wb") as f:
                f.write(b"x")


def start_server(root, log, options):
    server = subprocess.Popen(
        ["/usr/bin/python3", SERVER, "--root", root, "--host", "127.0.0.1", "--port", "0",
         "--log", log, "--exit-with-stdin"] + options,
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    if not line.startswith("PORT "):
        sys.exit("the FTP server did not start")
    return server, int(line.split()[1])


def set_up(work, cli, options):
    tree = os.path.join(work, "tree")
    os.mkdir(tree)
    make_tree(tree)
    log = os.path.join(work, "commands.log")
    server, port = start_server(tree, log, options)
    settings = os.path.join(work, "Settings")
    os.mkdir(settings)
    with open(os.path.join(settings, "ftpServer.ini"), "w") as f:
        f.write("[ftpServer]\nIP=127.0.0.1\nPort=%d\nUserName=kestrel\nPassword=secret\n" % port)
    script = os.path.join(work, "lftp.script")
    with open(script, "w") as f:
        f.write("set ftp:passive-mode off\nset cmd:interactive no\n")
        f.write("open -u kestrel,secret ftp://127.0.0.1:%d\n" % port)
        f.write('cls -1 "/"\n')
        for p in range(1, PLAY_LISTS + 1):
            f.write('cls -1 "/Play List %03d"\n' % p)
        f.write("bye\n")
    kestrel = [cli, "--settings", settings, "playlists"]
    lftp = ["lftp", "-f", script]
    return server, port, log, kestrel, lftp


def timed(command):
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    took = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("%s failed: %s" % (command[0], done.stderr.decode(errors="replace")))
    return took, done.stdout


def round_trips(port, count):
    ftp = ftplib.FTP()
    ftp.connect("127.0.0.1", port)
    ftp.login("kestrel", "secret")
    start = time.perf_counter()
    for _ in range(count):
        ftp.voidcmd("NOOP")
    took = time.perf_counter() - start
    ftp.quit()
    return took


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "src", "cli", "kestrel-cli"))
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--serve", action="store_true")
    parser.add_argument("--server-option", action="append", default=[])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        server, port, log, kestrel, lftp = set_up(work, args.cli, args.server_option)
        try:
            if args.serve:
                print(" ".join('"%s"' % w if " " in w else w for w in kestrel))
                print(" ".join(lftp), flush=True)
                sys.stdin.read()
                return
            # One warm-up of each, then the rounds, interleaved.
            timed(kestrel)
            timed(lftp)
            size = os.path.getsize(log)
            _, listed = timed(kestrel)
            with open(log) as f:
                f.seek(size)
                sent = f.read().splitlines()
            ours, theirs, bound = [], [], []
            for _ in range(args.rounds):
                ours.append(timed(kestrel)[0])
                theirs.append(timed(lftp)[0])
                bound.append(round_trips(port, PLAY_LISTS + 2))
            a, b, c = (statistics.median(x) for x in (ours, theirs, bound))
            ratios = sorted(x / y for x, y in zip(ours, theirs))
            print("tree: %d play lists x %d songs on pyftpdlib, 127.0.0.1, %d rounds"
                  % (PLAY_LISTS, SONGS, args.rounds))
            print("kestrel-cli playlists: %d lines, %d commands sent, %d data connections"
                  % (len(listed.splitlines()), len(sent),
                     sum(1 for c in sent if c.startswith("PORT"))))
            print("median kestrel-cli playlists   %.3f s" % a)
            print("median lftp, cls -1 per list   %.3f s" % b)
            print("median %d NOOP round trips    %.3f s" % (PLAY_LISTS + 2, c))
            print("kestrel / lftp, pair by pair: median %.2f (min %.2f, max %.2f)"
                  % (statistics.median(ratios), ratios[0], ratios[-1]))
            print("kestrel / round-trip bound: %.2f" % (a / c))
        finally:
            server.kill()
            server.wait()


if __name__ == "__main__":
    main()
