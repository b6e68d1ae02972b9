#!/usr/bin/python3
"""A real FTP server for the tests and benchmarks, built on pyftpdlib.

Serves --root read-write to the user --user/--password on --host:--port (port 0 picks a free
one) and prints "PORT <n>" on standard output once it listens. Variants:

  --no-size          answers SIZE with 500, like a server that lacks the command
  --no-times         lacks MDTM, MFMT, MLST and MLSD (and leaves them out of FEAT), like a
                     server that can neither tell nor set a file's modification time exactly
  --one-command-a-read
                     takes only the first command line of what one read brings and drops the
                     rest, as servers do that cannot take several commands at once
  --short-reads      reads at most 64 bytes at a time and drops a partial last line of a read
                     that also holds a whole one, as a small embedded server with a fixed line
                     buffer can (a line that fills a read alone is kept until it is whole)
  --whole-read-one-command
                     takes what one read brings as one command line, line breaks and all (so
                     "TYPE I\r\nSYST" is answered 504 Unsupported type)
  --feat MODE        mishandles FEAT: ignore (no answer), close (hangs up), no-end (a
                     multi-line reply without its end line), extra-line (one line more after
                     the reply)
  --lose-line TEXT   drops, once in the server's run, the first command line starting with TEXT
                     without a word
  --times-quirk Q    times the server cannot keep or tell: refuse-mfmt (MFMT answered 550),
                     fake-mfmt (213 without setting anything), mlsd-no-modify (MLSD lines
                     without the modify fact that FEAT offers), epoch or future (every file is
                     dated 1970, or ten years ahead), mdtm-garbage (no MLSD; MDTM answers 213
                     with no time)
  --reply-delay MS   takes every command line MS milliseconds after it arrived, as across a
                     distant link; lines sent together wait together, each keeping its order
  --mlst-garbage     answers MLST with 250 and no line of facts, though FEAT offers it
  --msdos            answers LIST in the MS-DOS style (date, time, <DIR> or size, name)
  --list-style S     answers LIST in style S: msdos, long-iso ("2024-01-01 12:00"),
                     full-iso ("2024-01-01 12:00:00.000000000 +0000"), or facts (lines such
                     as "type=dir;modify=20240101120000; NAME", which no listing parser reads)
  --stall-list       sends the first line of a listing (LIST or STAT), then nothing more,
                     keeping the connection
  --endless-list     answers LIST and STAT with a path with listing lines that never end
  --delay-list DIR=S answers a listing of DIR (a folder below --root; LIST, or STAT with its
                     path) S seconds late, without holding up anything else the server does
  --no-stat-path     refuses STAT with a path (504), as servers that only give their status do
  --hang-up-on-list  closes the control connection when LIST arrives
  --endless-greeting sends a "220-" greeting line every half second, without end
  --silent           accepts connections and never says a word (not even the greeting)
  --hang-up-in-greeting
                     sends the first line of a two-line greeting, then closes the connection
  --no-data-connection
                     answers PORT with 200 but never opens the data connection
  --deny-cwd DIR     refuses CWD into DIR (a folder below --root) and listing it, as a server
                     whose user lacks the rights does
  --refuse-stor      answers every STOR with 553, as a server whose disk is full or read-only
  --drop-stor-after N
                     closes the data connection of a STOR once N bytes have arrived and
                     answers 426 (files of N bytes or fewer are stored as usual)
  --deny-change DIR  refuses deleting and renaming in DIR and below (and DIR itself)
  --slow-stor N      receives uploads at about N bytes a second
  --short-stor N     keeps only the first N bytes of every upload, yet reports it complete
  --stall-stor-after N
                     stops reading an upload once N bytes have arrived, keeping the data
                     connection open
  --idle-timeout S   closes a control connection that has been idle for S seconds (421)
  --extra-entry DIR=NAME
                     lists NAME in directory DIR (relative to --root, "" for the root) as well,
                     as a hostile server would: the entry describes DIR/NAME when that exists
                     on the disk, else DIR itself (so a name with "/" can be any path)
  --max-sessions N   greets a control connection with 421 and closes it while N others are
                     open, as servers do that take a few connections only
  --max-logins N     answers PASS with 530 while N users are logged in
  --drop-stor N      closes the control and data connections of the Nth upload (counted over
                     all connections) once its first bytes arrived, without a reply, and from
                     then on takes no more logins than are open (530)
  --creation-order   lists every folder in the order its entries came to be (made, stored or
                     renamed into it), as a player that keeps its folders in that order does;
                     entries the server did not make come first, by name
  --log FILE         appends every command line the server receives to FILE, one a line

Stops on SIGTERM, and with --exit-with-stdin also when its standard input closes (so a test that
dies never leaves a server behind).
"""

import argparse
import os
import signal
import socket
import sys
import threading
import time
import logging

logger = logging.getLogger("kestrel-test-server")

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS, _filemode
from pyftpdlib.handlers import BufferedIteratorProducer, DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def styled_line(style, st, is_dir, name):
    when = time.gmtime(st.st_mtime)
    if style == "msdos":
        stamp = time.strftime("%m-%d-%y  %I:%M%p", when)
        if is_dir:
            return "%s       <DIR>          %s" % (stamp, name)
        return "%s %20d %s" % (stamp, st.st_size, name)
    if style == "facts":
        return "type=%s;modify=%s; %s" % ("dir" if is_dir else "file",
                                          time.strftime("%Y%m%d%H%M%S", when), name)
    stamp = time.strftime("%Y-%m-%d %H:%M", when)
    if style == "full-iso":
        stamp = time.strftime("%Y-%m-%d %H:%M:%S", when) + ".000000000 +0000"
    return "%s %3d owner    group    %8d %s %s" % (
        _filemode(st.st_mode), st.st_nlink, st.st_size, stamp, name)


class StyledFS(AbstractedFS):
    """Lists directories in the style given by the class attribute `style`."""
    style = "msdos"

    def format_list(self, basedir, listing, ignore_err=True):
        for name in listing:
            path = os.path.join(basedir, name)
            try:
                st = self.lstat(path)
            except OSError:
                if ignore_err:
                    continue
                raise
            line = styled_line(self.style, st, os.path.isdir(path), name) + "\r\n"
            yield line.encode("utf8", self.cmd_channel.unicode_errors)


def make_dropping_dtp(limit):
    class DroppingDTP(DTPHandler):
        """Receives at most `limit` bytes of an upload, then hangs up on the client."""

        def handle_read(self):
            super().handle_read()
            if self.receive and self.tot_bytes_received > limit and not self._closed:
                self._resp = ("426 Connection closed; transfer aborted.", logger.warning)
                self.close()

        handle_read_event = handle_read
    return DroppingDTP


class StallingFS(AbstractedFS):
    """Sends the first line of a listing, then stops without closing the data connection."""

    def format_list(self, basedir, listing, ignore_err=True):
        for line in AbstractedFS.format_list(self, basedir, listing, ignore_err):
            yield line
            break
        for _ in range(BufferedIteratorProducer.loops):
            yield b""  # ends the producer's first chunk, so the first line goes out
        time.sleep(600)  # the whole server stalls; the client is the only one


def make_stalling_dtp(limit):
    class StallingDTP(DTPHandler):
        """Stops reading an upload once more than `limit` bytes have arrived."""

        def readable(self):
            if self.receive and self.tot_bytes_received > limit:
                return False
            return super().readable()
    return StallingDTP


def make_short_dtp(limit):
    class ShortDTP(DTPHandler):
        """Keeps only the first `limit` bytes of an upload, yet answers 226."""

        def close(self):
            f = self.file_obj
            if self.receive and f is not None and not f.closed:
                f.flush()
                f.truncate(limit)
            super().close()
    return ShortDTP


def make_slow_dtp(rate):
    from pyftpdlib.handlers import ThrottledDTPHandler
    return type("SlowDTP", (ThrottledDTPHandler,), {"read_limit": rate})


def make_extra_entries_fs(base, extras):
    """Adds the names of `extras` (directory relative to the root -> names) to listings."""

    class ExtraEntriesFS(base):
        def listdir(self, path):
            self.listed = path
            names = list(base.listdir(self, path))
            rel = os.path.relpath(path, self.root)
            names += extras.get("" if rel == "." else rel, [])
            return names

        def lstat(self, path):
            try:
                return base.lstat(self, path)
            except OSError:
                return base.lstat(self, getattr(self, "listed", self.root))
    return ExtraEntriesFS


def endless_listing():
    line = b"-rw-r--r--   1 owner    group         1 Jan 01  2024 " + b"x" * 960 + b"\r\n"
    chunk = line * 64
    while True:
        yield chunk


def make_times_fs(base, quirk):
    """Dates every file in 1970 or ten years ahead, or leaves the modify fact out of MLSD."""
    fixed = 0 if quirk == "epoch" else time.time() + 10 * 365 * 86400

    class TimesFS(base):
        def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
            if quirk == "mlsd-no-modify":
                facts = [f for f in facts if f != "modify"]
            return base.format_mlsx(self, basedir, listing, perms, facts, ignore_err)

        def dated(self, st):
            if quirk not in ("epoch", "future"):
                return st
            return os.stat_result((st.st_mode, st.st_ino, st.st_dev, st.st_nlink, st.st_uid,
                                   st.st_gid, st.st_size, int(st.st_atime), int(fixed),
                                   int(st.st_ctime)))

        def stat(self, path):
            return self.dated(base.stat(self, path))

        def lstat(self, path):
            return self.dated(base.lstat(self, path))

        def getmtime(self, path):
            return fixed if quirk in ("epoch", "future") else base.getmtime(self, path)
    return TimesFS


def make_session_dropping_dtp(base):
    class SessionDroppingDTP(base):
        """Hangs up on the whole session of an upload marked for it once its first bytes came."""

        def handle_read(self):
            super().handle_read()
            channel = self.cmd_channel
            if self.receive and self.tot_bytes_received > 0 and getattr(channel, "kestrel_drop", False):
                channel.kestrel_drop = False
                channel.kestrel_hang_up()

        handle_read_event = handle_read
    return SessionDroppingDTP


def make_creation_order_fs(base):
    """Lists a folder in the order its entries came to be; those it did not see come first."""
    order = {}
    counter = [0]

    def note(path):
        counter[0] += 1
        order[os.path.realpath(path)] = counter[0]

    class CreationOrderFS(base):
        def open(self, filename, mode):
            new = "w" in mode and not os.path.exists(filename)
            f = base.open(self, filename, mode)
            if new:
                note(filename)
            return f

        def mkdir(self, path):
            base.mkdir(self, path)
            note(path)

        def rename(self, src, dst):
            base.rename(self, src, dst)
            order.pop(os.path.realpath(src), None)
            note(dst)

        def listdir(self, path):
            names = base.listdir(self, path)
            key = lambda n: (order.get(os.path.realpath(os.path.join(path, n)), 0), n)
            return tuple(sorted(names, key=key))  # a tuple: pyftpdlib sorts only lists
    return CreationOrderFS


def make_handler(args):
    log = open(args.log, "a", buffering=1, encoding="utf8", errors="replace") if args.log else None
    lost = []  # the line --lose-line dropped, once it has
    # Sessions open, users logged in, uploads begun, and the most logins taken (None: any).
    state = {"open": 0, "logged": 0, "stors": 0, "login_limit": args.max_logins}
    quirk = args.times_quirk

    class Handler(FTPHandler):
        banner = "kestrel test server ready"
        permit_foreign_addresses = True
        proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items()
                      if not (args.no_size and k == "SIZE")
                      and not (args.no_times and k in ("MDTM", "MFMT", "MLST", "MLSD"))
                      and not (quirk == "mdtm-garbage" and k in ("MLST", "MLSD"))}

        def _on_dtp_connection(self):
            # pyftpdlib keeps the connector of an active data connection after handing its
            # socket on, and closes it again with the control connection (or at the next PORT):
            # that unregisters its old descriptor number, by then perhaps a new control
            # connection's, which is then never read again. Once connected it is done with.
            self._dtp_connector = None
            return super()._on_dtp_connection()

        def pre_process_command(self, line, cmd, arg):
            if log is not None:
                log.write(line.replace("\r", "\\r").replace("\n", "\\n") + "\n")
            if args.lose_line and not lost and line.startswith(args.lose_line):
                lost.append(line)
                return
            if not args.reply_delay:
                return super().pre_process_command(line, cmd, arg)
            # Each line is taken its delay after it arrived, in the order of arrival.
            queue = self.__dict__.setdefault("kestrel_delayed", [])
            queue.append((time.monotonic() + args.reply_delay / 1000.0, line, cmd, arg))
            if len(queue) == 1:
                self.ioloop.call_later(args.reply_delay / 1000.0, self.take_delayed)

        def take_delayed(self):
            queue = self.kestrel_delayed
            while queue and queue[0][0] <= time.monotonic() + 0.0005:
                _, line, cmd, arg = queue.pop(0)
                if not self.connected:
                    queue.clear()
                    return
                FTPHandler.pre_process_command(self, line, cmd, arg)
            if queue:
                self.ioloop.call_later(max(0.0, queue[0][0] - time.monotonic()), self.take_delayed)

        def recv(self, buffer_size):
            data = super().recv(64 if args.short_reads else buffer_size)
            if args.one_command_a_read and b"\r\n" in data:
                data = data[:data.index(b"\r\n") + 2]
            if args.short_reads and b"\r\n" in data:
                data = data[:data.rindex(b"\r\n") + 2]
            if args.whole_read_one_command and data.endswith(b"\r\n"):
                data = data[:-2].replace(b"\r\n", b"\n") + b"\r\n"
            return data

        def ftp_FEAT(self, line):
            if args.feat == "ignore":
                return
            if args.feat == "close":
                self.close()
                return
            if args.feat == "no-end":
                self.push("211-Features supported:\r\n MDTM\r\n MFMT\r\n SIZE\r\n")
                return
            super().ftp_FEAT(line)
            if args.feat == "extra-line":
                self.respond("200 And one line more.")

        def ftp_MFMT(self, path, timeval):
            if quirk == "refuse-mfmt":
                self.respond("550 Changing the modification time is not allowed.")
                return
            if quirk == "fake-mfmt":
                self.respond("213 Modify=%s; %s." % (timeval, self.fs.fs2ftp(path)))
                return
            return super().ftp_MFMT(path, timeval)

        def ftp_MLST(self, path):
            if args.mlst_garbage:
                self.respond("250 Listed.")
                return
            return super().ftp_MLST(path)

        def ftp_MDTM(self, path):
            if quirk == "mdtm-garbage":
                self.respond("213 soon")
                return
            return super().ftp_MDTM(path)

        def ftp_STOR(self, file, mode="w"):
            if args.refuse_stor:
                self.respond("553 Storage refused: no space left on the device.")
                return
            state["stors"] += 1
            if args.drop_stor and state["stors"] == args.drop_stor:
                self.kestrel_drop = True
            return super().ftp_STOR(file, mode)

        def kestrel_hang_up(self):
            self.close()
            state["login_limit"] = state["logged"]

        def ftp_PASS(self, line):
            limit = state["login_limit"]
            if not self.authenticated and limit is not None and state["logged"] >= limit:
                self.respond("530 Too many users logged in.")
                return
            return super().ftp_PASS(line)

        def on_login(self, username):
            self.kestrel_logged = True
            state["logged"] += 1

        def close(self):
            if getattr(self, "kestrel_open", False):
                self.kestrel_open = False
                state["open"] -= 1
            if getattr(self, "kestrel_logged", False):
                self.kestrel_logged = False
                state["logged"] -= 1
            return super().close()

        def listing_later(self, path, answer):
            """True when the listing of `path` is answered later (--delay-list), by `answer`."""
            if not path or getattr(self, "kestrel_answering", False):
                return False
            for item in args.delay_list:
                folder, _, seconds = item.rpartition("=")
                if os.path.realpath(path) != os.path.realpath(os.path.join(self.fs.root, folder)):
                    continue

                def later():
                    if not self.connected:
                        return
                    self.kestrel_answering = True
                    try:
                        answer()
                    finally:
                        self.kestrel_answering = False
                self.ioloop.call_later(float(seconds), later)
                return True
            return False

        def ftp_LIST(self, path):
            if self.listing_later(path, lambda: self.ftp_LIST(path)):
                return
            if args.hang_up_on_list:
                self.close()
                return
            if args.endless_list:
                self.push_dtp_data(BufferedIteratorProducer(endless_listing()),
                                   isproducer=True, cmd="LIST")
                return
            return super().ftp_LIST(path)

        def ftp_STAT(self, path):
            if self.listing_later(path, lambda: self.ftp_STAT(path)):
                return
            if path and args.no_stat_path:
                self.respond("504 STAT with a path is not implemented.")
                return
            if path and args.endless_list:
                self.push('213-Status of "%s":\r\n' % self.fs.fs2ftp(path))
                self.push_with_producer(BufferedIteratorProducer(endless_listing()))
                return
            return super().ftp_STAT(path)

        # pyftpdlib's own idle timer stops for good after a STAT with a path, so the idle
        # time-out is timed here: from the greeting and from each command line.
        def handle(self):
            if args.max_sessions is not None and state["open"] >= args.max_sessions:
                self.respond("421 Too many connections. Service temporarily unavailable.")
                self.close_when_done()
                return
            self.kestrel_open = True
            state["open"] += 1
            super().handle()
            self.restart_idle_timer()

        def found_terminator(self):
            self.restart_idle_timer()
            return super().found_terminator()

        def restart_idle_timer(self):
            if not args.idle_timeout:
                return
            timer = getattr(self, "idle_timer", None)
            if timer is not None and not timer.cancelled:
                timer.cancel()
            self.idle_timer = self.ioloop.call_later(args.idle_timeout, self.idle_too_long)

        def idle_too_long(self):
            if self.connected:
                self.respond("421 Control connection timed out.")
                self.close_when_done()

        def ftp_PORT(self, line):
            if args.no_data_connection:
                self.respond("200 Active data connection established.")
                return
            return super().ftp_PORT(line)

    if args.msdos:
        args.list_style = "msdos"
    if args.list_style:
        Handler.abstracted_fs = type("FS", (StyledFS,), {"style": args.list_style})
    if args.stall_list:
        Handler.abstracted_fs = StallingFS
    if args.drop_stor_after is not None:
        Handler.dtp_handler = make_dropping_dtp(args.drop_stor_after)
    if args.stall_stor_after is not None:
        Handler.dtp_handler = make_stalling_dtp(args.stall_stor_after)
    if args.slow_stor:
        Handler.dtp_handler = make_slow_dtp(args.slow_stor)
    if args.short_stor is not None:
        Handler.dtp_handler = make_short_dtp(args.short_stor)
    if quirk:
        Handler.abstracted_fs = make_times_fs(Handler.abstracted_fs, quirk)
    if args.drop_stor:
        Handler.dtp_handler = make_session_dropping_dtp(Handler.dtp_handler)
    if args.creation_order:
        Handler.abstracted_fs = make_creation_order_fs(Handler.abstracted_fs)
    if args.extra_entry:
        extras = {}
        for item in args.extra_entry:
            folder, _, name = item.partition("=")
            extras.setdefault(folder, []).append(name)
        Handler.abstracted_fs = make_extra_entries_fs(Handler.abstracted_fs, extras)
    return Handler


def endless_greeting(conn):
    try:
        while True:
            conn.sendall(b"220-still greeting\r\n")
            time.sleep(0.5)
    except OSError:
        pass


def serve_silent(host, port, hang_up_in_greeting, endless):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((host, port))
    listener.listen(16)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    held = []
    while True:
        conn, _ = listener.accept()
        if endless:
            threading.Thread(target=endless_greeting, args=(conn,), daemon=True).start()
        elif hang_up_in_greeting:
            conn.sendall(b"220-first line of two\r\n")
            conn.close()
        else:
            held.append(conn)  # keep it open, say nothing


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=".")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="kestrel")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--log")
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--no-times", action="store_true")
    parser.add_argument("--reply-delay", type=float, default=0)
    parser.add_argument("--one-command-a-read", action="store_true")
    parser.add_argument("--short-reads", action="store_true")
    parser.add_argument("--whole-read-one-command", action="store_true")
    parser.add_argument("--feat", choices=["ignore", "close", "no-end", "extra-line"])
    parser.add_argument("--lose-line")
    parser.add_argument("--times-quirk", choices=["refuse-mfmt", "fake-mfmt", "mlsd-no-modify",
                                                  "epoch", "future", "mdtm-garbage"])
    parser.add_argument("--mlst-garbage", action="store_true")
    parser.add_argument("--msdos", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--hang-up-in-greeting", action="store_true")
    parser.add_argument("--no-data-connection", action="store_true")
    parser.add_argument("--list-style", choices=["msdos", "long-iso", "full-iso", "facts"])
    parser.add_argument("--stall-list", action="store_true")
    parser.add_argument("--no-stat-path", action="store_true")
    parser.add_argument("--endless-list", action="store_true")
    parser.add_argument("--delay-list", action="append", default=[])
    parser.add_argument("--hang-up-on-list", action="store_true")
    parser.add_argument("--endless-greeting", action="store_true")
    parser.add_argument("--refuse-stor", action="store_true")
    parser.add_argument("--drop-stor-after", type=int)
    parser.add_argument("--stall-stor-after", type=int)
    parser.add_argument("--slow-stor", type=int)
    parser.add_argument("--short-stor", type=int)
    parser.add_argument("--idle-timeout", type=float)
    parser.add_argument("--extra-entry", action="append", default=[])
    parser.add_argument("--max-sessions", type=int)
    parser.add_argument("--max-logins", type=int)
    parser.add_argument("--drop-stor", type=int)
    parser.add_argument("--creation-order", action="store_true")
    parser.add_argument("--exit-with-stdin", action="store_true")
    parser.add_argument("--deny-cwd", action="append", default=[])
    parser.add_argument("--deny-change", action="append", default=[])
    args = parser.parse_args()

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))

    def watch_stdin():
        while sys.stdin.buffer.read(4096):
            pass
        os._exit(0)
    if args.exit_with_stdin:
        threading.Thread(target=watch_stdin, daemon=True).start()

    if args.silent or args.hang_up_in_greeting or args.endless_greeting:
        serve_silent(args.host, args.port, args.hang_up_in_greeting, args.endless_greeting)
        return

    authorizer = DummyAuthorizer()
    root = os.path.realpath(args.root)
    authorizer.add_user(args.user, args.password, root, perm="elradfmwMT")
    for folder in args.deny_cwd:
        authorizer.override_perm(args.user, os.path.join(root, folder), "radfmwMT",
                                 recursive=True)
    for folder in args.deny_change:
        authorizer.override_perm(args.user, os.path.join(root, folder), "elrawMT",
                                 recursive=True)
    handler = make_handler(args)
    handler.authorizer = authorizer
    server = FTPServer((args.host, args.port), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.ERROR)
    main()
