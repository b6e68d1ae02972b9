#!/usr/bin/env python3
"""Reads ThreadSanitizer logs and fails when a race is not wholly inside Qt.

A report is wholly inside Qt when, for both racing accesses, the first frame outside the
sanitizer runtime and the C/C++ runtime libraries is in a Qt library. Every other report
(one of the accesses in our code) is printed and counts as a failure.
Usage: check_reports.py LOG...
"""
import re
import sys

RUNTIME = ("libtsan", "libc.so", "libstdc++", "ld-linux")
FRAME = re.compile(r"^\s*#\d+ (.*?) \((\S+?)\+0x[0-9a-f]+\)\s*$|^\s*#\d+ (.*?) (\S+:\d+)")


def first_frame(stack):
    for line in stack.splitlines():
        m = re.match(r"\s*#\d+ (.*)$", line)
        if not m:
            continue
        text = m.group(1)
        module = re.search(r"\(([^()+]+)\+0x[0-9a-f]+\)\s*$", text)
        where = module.group(1) if module else text
        if any(r in where for r in RUNTIME):
            continue
        return where, text
    return "", ""


def main(paths):
    ours, qt = [], 0
    for path in paths:
        text = open(path, errors="replace").read()
        for report in text.split("=================="):
            if "WARNING: ThreadSanitizer" not in report:
                continue
            stacks = re.split(r"\n(?=  (?:Previous |Location|Mutex|Thread |SUMMARY))", report)[:2]
            tops = [first_frame(s) for s in stacks]
            if all("libQt6" in where for where, _ in tops):
                qt += 1
            else:
                ours.append(report)
    for report in ours:
        print(report)
    print(f"tsan: {len(ours)} report(s) in our code, {qt} wholly inside Qt")
    return 1 if ours else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
