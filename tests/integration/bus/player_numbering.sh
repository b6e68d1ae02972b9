#!/usr/bin/env bash
# The stand-in numbers play lists and songs as the program numbers the FTP server's listing:
# names in byte order, only directories as play lists, only regular files as songs, and device
# numbers only for play lists that hold a file. No network involved.
# Usage: player_numbering.sh PLAYER_PROGRAM
set -euo pipefail
player=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

mkdir -p "$dir/b" "$dir/B" "$dir/a empty/sub" "$dir/É" "$dir/z"
: >"$dir/b/2.mp3"
: >"$dir/b/10.mp3"
: >"$dir/b/Zed.mp3"
: >"$dir/b/a.mp3"
: >"$dir/B/one.mp3"
: >"$dir/É/é.mp3"
: >"$dir/z/.hidden"
ln -s "$dir/b/a.mp3" "$dir/b/link.mp3"
ln -s "$dir/b" "$dir/c-link"
: >"$dir/root-file.mp3"

expected=$(printf '%s\n' \
  $'list\t1\t1\tB' \
  $'list\t2\t0\ta empty' \
  $'list\t3\t2\tb' \
  $'list\t4\t3\tz' \
  $'list\t5\t4\tÉ' \
  $'song\t1\t1\tone.mp3' \
  $'song\t2\t1\t10.mp3' \
  $'song\t2\t2\t2.mp3' \
  $'song\t2\t3\tZed.mp3' \
  $'song\t2\t4\ta.mp3' \
  $'song\t3\t1\t.hidden' \
  $'song\t4\t1\té.mp3')
actual=$("$player" --folder "$dir" --print-numbering)
if [ "$actual" != "$expected" ]; then
  echo "numbering differs"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "numbering as expected"
