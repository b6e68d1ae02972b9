#!/usr/bin/env bash
# kestrel-cli.exe from the unpacked zip, under Wine, against a real FTP server on 127.0.0.1:
# playlists (the same lines as the Linux kestrel-cli prints), check of a song and of a WAV named
# .mp3 (the song libraries load and decode), upload, upload --normalize (the copy measured
# by the Linux kestrel-cli), deploy of a folder (the
# bytes on the server equal the folder's; one play list and its song have names outside the
# ANSI code page, so they only arrive when the names travel as wide text), and a second deploy
# that stores nothing. Zone.ini has no zones, so nothing goes on the bus; everything runs in a
# namespace that has nothing but its loopback interface all the same.
# Usage: check_ftp.sh APP_DIR LINUX_CLI WINE_PREFIX
set -euo pipefail
app=$1
linux_cli=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/netns.sh"
. "$here/wine.sh"
. "$here/checks.sh"

netns_begin "kwftp$$"
trap checks_cleanup EXIT
netns_add lo
ns=$NETNS_LAST
wine_env "$3"
wine_server_in "$ns"

served=$NETNS_TMP/served
mkdir -p "$served/Jazz" "$served/Rock"
"$here/../../scripts/make-song" "$served/Jazz/a.mp3" 70000
"$here/../../scripts/make-song" "$served/Rock/r.mp3" 50000
ftp_log=$NETNS_TMP/ftp-commands.log
ip netns exec "$ns" /usr/bin/python3 "$here/../support/ftp_test_server.py" --root "$served" \
  --log "$ftp_log" >"$NETNS_TMP/ftp.out" 2>&1 &
netns_track $!
netns_wait_for_line "$NETNS_TMP/ftp.out" "^PORT " 10
port=$(sed -n 's/^PORT //p' "$NETNS_TMP/ftp.out")

# The Settings folder beside the program, as a user fills it in.
settings=$app/Settings
ini "$settings/ftpServer.ini" '[ftpServer]' 'IP=127.0.0.1' "Port=$port" 'UserName=kestrel' 'Password=secret'
ini "$settings/Zone.ini" '[TotalZones]' 'TotalZones=0'
cli() { wine_in "$ns" "$app/kestrel-cli.exe" "$@" 2>>"$NETNS_TMP/cli.err" | tr -d '\r'; }
# A failing command is reported by the check that follows it.

expected=$(ip netns exec "$ns" "$linux_cli" --settings "$settings" playlists)
check "playlists lists what the Linux kestrel-cli lists" "$expected" "$(cli playlists || true)"

# A second of tone made with lame, and a WAV given the name of an MP3.
make_wav() {  # FILE: 1 s of 16-bit mono noise at 44.1 kHz
  /usr/bin/python3 - "$1" <<'PY'
import random, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(44100)
    w.writeframes(b"".join(struct.pack("<h", random.randint(-8000, 8000)) for _ in range(44100)))
PY
}
make_wav "$NETNS_TMP/tone.wav"
lame --quiet -b 128 "$NETNS_TMP/tone.wav" "$NETNS_TMP/tone.mp3"
cp "$NETNS_TMP/tone.wav" "$NETNS_TMP/wave.mp3"
status=0
checked=$(cli check "$(wine_path "$NETNS_TMP/tone.mp3")" "$(wine_path "$NETNS_TMP/wave.mp3")") || status=$?
check "check exits 4 for a file that is not MP3" 4 "$status"
check "check prints what the Linux kestrel-cli prints" \
  "$(ip netns exec "$ns" "$linux_cli" check "$NETNS_TMP/tone.mp3" "$NETNS_TMP/wave.mp3" | cut -f2-)" \
  "$(printf '%s\n' "$checked" | cut -f2-)"

song=$NETNS_TMP/new.mp3
"$here/../../scripts/make-song" "$song" 90000
cli upload --replace Jazz "$(wine_path "$song")" >/dev/null || true
check_same_file "upload stores the file's bytes" "$song" "$served/Jazz/new.mp3"

# The tone evened out on the way: the player's copy has the file's size, other gain fields, and
# the loudness the Linux check measures on it is within 0.75 LU of the target.
status=0
cli upload --replace --normalize=-14 Jazz "$(wine_path "$NETNS_TMP/tone.mp3")" >/dev/null || status=$?
check "upload --normalize exit status" 0 "$status"
check "upload --normalize keeps the song's size" "$(stat -c %s "$NETNS_TMP/tone.mp3")" \
  "$(stat -c %s "$served/Jazz/tone.mp3" 2>/dev/null || echo missing)"
loudness=$(ip netns exec "$ns" "$linux_cli" check "$served/Jazz/tone.mp3" | cut -f6)
check "upload --normalize brings the song to -14 LUFS" yes \
  "$(awk -v l="$loudness" 'BEGIN { print (l + 14 <= 0.75 && l + 14 >= -0.75) ? "yes" : "no: " l }')"

music=$NETNS_TMP/music
greek="Ωδές"
mkdir -p "$music/Rock" "$music/$greek" "$music/Pop"
"$here/../../scripts/make-song" "$music/Rock/r2.mp3" 120000
cp "$served/Rock/r.mp3" "$music/Rock/r.mp3"
"$here/../../scripts/make-song" "$music/$greek/Καλημέρα.mp3" 64000
"$here/../../scripts/make-song" "$music/Pop/p.mp3" 33000
status=0
cli deploy "$(wine_path "$music")" >/dev/null || status=$?
check "deploy exit status" 0 "$status"
for list in Rock "$greek" Pop; do
  check "deploy: play list $list on the server equals the folder" "" \
    "$(diff -r "$music/$list" "$served/$list" 2>&1 || true)"
done

stores=$(grep -c '^STOR ' "$ftp_log" || true)
status=0
cli deploy "$(wine_path "$music")" >/dev/null || status=$?
check "second deploy exit status" 0 "$status"
check "second deploy sends no STOR" "$stores" "$(grep -c '^STOR ' "$ftp_log" || true)"
expect_line "second deploy finds nothing to do" "nothing to do" "$NETNS_TMP/cli.err"

if [ "$CHECK_FAILURES" -ne 0 ]; then
  echo "---- kestrel-cli.exe messages"
  tr -d '\r' <"$NETNS_TMP/cli.err"
fi
checks_done "FTP"
