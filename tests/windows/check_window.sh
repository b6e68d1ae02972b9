#!/usr/bin/env bash
# kestrel.exe from the unpacked zip under Wine on a virtual display (Xvfb), in a namespace "pc"
# joined to a namespace "player" that runs the FTP server and the player stand-in for the zones
# of the shipped Zone.ini. Qt's platform and style plug-ins must load from the zip's folders,
# the window must appear with its caption, list the play lists from the server (it then asks
# the server about each one by name), and fill the zones' status lines (each zone's song name
# is decoded: the debug trace, which Wine shows, names it). A screenshot is left at SCREENSHOT;
# look at it. Last, Alt+F4 closes the window and the program ends.
# Usage: check_window.sh APP_DIR LINUX_BIN_DIR WINE_PREFIX SCREENSHOT
set -euo pipefail
app=$1
linux_bin=$2
shot=$4
caption="Coral Winds Veltra Play List Management (V1.10)"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/netns.sh"
. "$here/wine.sh"
. "$here/checks.sh"
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || netns_fail "Xvfb and xdotool are missing: run scripts/deps"

netns_begin "kwwin$$"
trap checks_cleanup EXIT
net=10.75.$(($$ % 200 + 20))
netns_add pc
pc=$NETNS_LAST
netns_add player
player=$NETNS_LAST
netns_link "$pc" "$net.1/24" "$player" "$net.2/24"
netns_hosts "$pc" "$net.1"
printf '%s\t%s\n' "$net.1" "$(hostname | cut -d. -f1 | cut -c1-15)" >>"/etc/netns/$pc/hosts"
wine_env "$3"

# The player: play lists on its FTP server, a stand-in for each zone with a song ready.
music=$NETNS_TMP/music
mkdir -p "$music/Bar Evenings" "$music/Lobby Music" "$music/Spa"
"$here/../../scripts/make-song" "$music/Bar Evenings/01 Blue Hour.mp3" 240000
"$here/../../scripts/make-song" "$music/Lobby Music/01 Morning Light.mp3" 310000
"$here/../../scripts/make-song" "$music/Lobby Music/02 Quiet Harbour.mp3" 280000
"$here/../../scripts/make-song" "$music/Spa/01 Still Water.mp3" 200000
ftp_log=$NETNS_TMP/ftp-commands.log
ip netns exec "$player" /usr/bin/python3 "$here/../support/ftp_test_server.py" --host "$net.2" \
  --root "$music" --log "$ftp_log" >"$NETNS_TMP/ftp.out" 2>&1 &
netns_track $!
netns_wait_for_line "$NETNS_TMP/ftp.out" "^PORT " 10
settings=$app/Settings
ini "$settings/ftpServer.ini" '[ftpServer]' "IP=$net.2" "Port=$(sed -n 's/^PORT //p' "$NETNS_TMP/ftp.out")" \
  'UserName=kestrel' 'Password=secret'

mapfile -t zones < <(tr -d '\r' <"$settings/Zone.ini" | awk -F= '
  /^SubnetIDOfVeltra=/ {s=$2} /^DeviceIDOfVeltra=/ {print s ":" $2}')
[ ${#zones[@]} -ge 2 ] || netns_fail "the shipped Zone.ini names no zones"
cues=(--cue "${zones[0]}:2:1" --cue "${zones[1]}:3:1")  # Lobby Music, Spa (numbered by name)
ip netns exec "$player" "$linux_bin/kestrel-player" --address "$net.2" --folder "$music" \
  $(printf -- '--device %s ' "${zones[@]}") "${cues[@]}" >"$NETNS_TMP/player.log" 2>&1 &
netns_track $!
netns_wait_for_line "$NETNS_TMP/player.log" "^kestrel-player on $net.2" 10

# The display: Xvfb picks a free number; the namespace reaches it through its path socket.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$NETNS_TMP/display" 2>/dev/null &
netns_track $!
netns_wait_for_line "$NETNS_TMP/display" "^[0-9]" 10
export DISPLAY=":$(head -n1 "$NETNS_TMP/display")"

wine_server_in "$pc"
started=$SECONDS
# Wine 8 reports the debugger trace (OutputDebugString) as warnings of its "seh" channel, older
# Wines on the "debugstr" channel; each line names the call and quotes the text.
trace='OutputDebugString[AW] "aaaaa:'
KESTREL_TRACE=1 WINEDEBUG=-all,+debugstr,warn+seh,+loaddll wine_in "$pc" "$app/kestrel.exe" >"$NETNS_TMP/kestrel.out" 2>"$NETNS_TMP/kestrel.err" &
kestrel=$!

# Wait for the window, not a fixed time: a fresh Wine prefix takes its time to start.
window=""
for _ in $(seq 120); do
  window=$(xdotool search --name "^$(sed 's/[()]/\\&/g' <<<"$caption")\$" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  kill -0 "$kestrel" 2>/dev/null || break
  sleep 0.5
done
# Wine's loader names every DLL it loads: the platform and style plug-ins come from the zip.
for plugin in platforms/qwindows.dll styles/qwindowsvistastyle.dll; do
  expect_line "$plugin is loaded from the program's folder" \
    "Loaded L\".*${plugin%/*}.*${plugin#*/}\" at .*: native" "$NETNS_TMP/kestrel.err"
done
check "the window appears with its caption" "$caption" "$( [ -n "$window" ] && xdotool getwindowname "$window")"
echo "window after $((SECONDS - started)) s"

# The play lists are listed from the server, and each zone's status has come in.
for list in "Bar Evenings" "Lobby Music" "Spa"; do
  netns_wait_for_line "$ftp_log" "^STAT /$list\$" 30 && echo "ok: the play list $list is listed" ||
    CHECK_FAILURES=$((CHECK_FAILURES + 1))
done
for song in "01 Morning Light" "01 Still Water"; do
  netns_wait_for_line "$NETNS_TMP/kestrel.err" "$trace$song" 30 && echo "ok: a zone's status line shows $song" ||
    CHECK_FAILURES=$((CHECK_FAILURES + 1))
done
# One more poll cycle, so that the status lines are drawn before the picture is taken.
lines=$(grep -c "$trace" "$NETNS_TMP/kestrel.err" || true)
for _ in $(seq 50); do
  [ "$(grep -c "$trace" "$NETNS_TMP/kestrel.err" || true)" -ge $((lines + ${#zones[@]})) ] && break
  sleep 0.1
done
import -display "$DISPLAY" -window root "$shot" && echo "screenshot: $shot"

if [ -n "$window" ]; then
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key --clearmodifiers alt+F4
  ended=""
  for _ in $(seq 100); do
    kill -0 "$kestrel" 2>/dev/null || { ended=yes; break; }
    sleep 0.1
  done
  status=0
  [ -n "$ended" ] && { wait "$kestrel" || status=$?; }
  check "Alt+F4 closes the window and the program ends with status 0" "yes 0" "${ended:-no} $status"
fi

if [ "$CHECK_FAILURES" -ne 0 ]; then
  for f in "$NETNS_TMP/player.log" "$NETNS_TMP/kestrel.err" "$ftp_log"; do echo "---- $f"; tail -n 40 "$f"; done
fi
checks_done "Window"
