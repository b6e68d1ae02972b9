#!/usr/bin/env bash
# kestrel-cli's zone commands against the player stand-in: the program in one network
# namespace, the stand-in in another, joined by a veth pair with private addresses; the FTP
# server (for play-song) in the program's namespace. Everything is made for this run and
# removed afterwards. Needs root.
# Usage: cli_bus_test.sh CLI PLAYER
set -euo pipefail
cli=$1
player=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/netns.sh"
. "$here/../../support/checks.sh"

netns_pair "kcli$$" tool 10.79.1.1/24 player 10.79.1.2/24
tool_ns=$NETNS_PC
player_ns=$NETNS_PEER

folder=$NETNS_TMP/playlists
mkdir -p "$folder/Empty" "$folder/Jazz" "$folder/Rock"
for song in Jazz/a Jazz/b Rock/r1 Rock/r2; do "$here/../../../scripts/make-song" "$folder/$song.mp3" 80000; done
settings=$NETNS_TMP/Settings
mkdir -p "$settings"
printf '[TotalZones]\r\nTotalZones=2\r\n[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=21\r\n' >"$settings/Zone.ini"

log=$NETNS_TMP/player.log
ip netns exec "$player_ns" "$player" --address 10.79.1.2 --device 1:20 --device 1:21 \
  --folder "$folder" --reload-seconds 1 --attenuation 25 --mode 3 --off-file "$NETNS_TMP/off" >"$log" 2>&1 &
netns_track $!
netns_wait_for_line "$log" "^kestrel-player on 10.79.1.2" 10

ftp_out=$NETNS_TMP/ftp.out
ip netns exec "$tool_ns" /usr/bin/python3 "$here/../../support/ftp_test_server.py" --root "$folder" >"$ftp_out" 2>&1 &
netns_track $!
netns_wait_for_line "$ftp_out" "^PORT " 10
printf '[ftpServer]\r\nIP=127.0.0.1\r\nPort=%s\r\nUserName=kestrel\r\nPassword=secret\r\n' "$(sed -n 's/^PORT //p' "$ftp_out")" >"$settings/ftpServer.ini"

run() { ip netns exec "$tool_ns" "$cli" --settings "$settings" "$@"; }

check "zones" "$(printf 'Lobby\t1:20\nBar\t1:21')" "$(run zones)"
check "zones --json" "Bar 1:21" "$(run --json zones | python3 -c 'import json,sys; z=json.load(sys.stdin)[1]; print(z["name"], z["address"])')"

status=0; out=$(run status --zone Bar) || status=$?
check "status exit" 0 "$status"
expect_line "status line" $'^Bar\t1:21\t.*Volume: 68%.  Play Mode: Play List' <(echo "$out")
check "status --json" "54 3 True" "$(run --json status --zone 1:20 | python3 -c 'import json,sys,re; z=json.load(sys.stdin)[0]; print(z["volume"], z["playMode"], bool(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", z["lastAnswer"])))')"
# A zone whose player is switched off: never answered, no time of a last answer.
echo 1:21 >"$NETNS_TMP/off"
status=0; out=$(run --json status --zone Bar) || status=$?
check "status of a zone not answering: exit" 2 "$status"
check "status of a zone not answering: --json" "False None" "$(echo "$out" | python3 -c 'import json,sys; z=json.load(sys.stdin)[0]; print(z["answered"], z["lastAnswer"])')"
: >"$NETNS_TMP/off"

status=0; run send next --zone Bar || status=$?
check "send next" 0 "$status"
run send volume 60 --zone Lobby --zone 1:21
run send mode 4 --all-zones
status=0; run send play-song Rock r2.mp3 --zone Lobby || status=$?
check "send play-song" 0 "$status"
status=0; run send reload --zone Lobby 2>"$NETNS_TMP/reload.err" || status=$?
check "send reload" 0 "$status"
expect_line "reload shows that it waits" "waiting for each to report the end" "$NETNS_TMP/reload.err"
# deploy into the folder the stand-in plays from, then the zones reload and report the end
music=$NETNS_TMP/music
mkdir -p "$music/Jazz" "$music/Pop" "$music/Rock"
cp "$folder"/Jazz/* "$music/Jazz/"; cp "$folder"/Rock/* "$music/Rock/"
"$here/../../../scripts/make-song" "$music/Pop/p.mp3" 80000
status=0; run deploy "$music" >/dev/null 2>&1 || status=$?
check "deploy with the reload" 0 "$status"
expect_line "the zones reloaded what deploy stored" "1:21 UPDATELIST: play lists reloaded, 3 play lists" "$log"

status=0; run send volume 80 --zone Lobby 2>/dev/null || status=$?
check "volume out of range" 1 "$status"
status=0; run send stop --zone Cellar 2>/dev/null || status=$?
check "unknown zone" 1 "$status"

# A faulty Zone.ini, or one without zones. A zone with an ID outside 0..255 is left out with its
# message and the others are used: nothing reaches 1:21, where 277, and subnet 257, would wrap
# to (-236 would wrap to 1:20, Lobby's own address). A count below 1 means no zones: exit status
# 1 with the message.
faulty=$NETNS_TMP/Faulty
mkdir -p "$faulty"
cp "$settings/ftpServer.ini" "$faulty/"
zone_ini() {  # zone_ini TOTAL SUBNET2 DEVICE2
  printf '[TotalZones]\r\nTotalZones=%s\r\n[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n' "$1"
  printf '[Zone2]\r\nZoneName=Bar\r\nSubnetIDOfVeltra=%s\r\nDeviceIDOfVeltra=%s\r\n' "$2" "$3"
}
frames_to() { grep -c -e "^$1 NEXT: " -e "^$1 UPDATELIST: " "$log" || true; }
to_bar_before=$(frames_to 1:21)
to_lobby_before=$(frames_to 1:20)
while IFS='|' read -r total subnet device command expected message; do
  zone_ini "$total" "$subnet" "$device" >"$faulty/Zone.ini"
  status=0
  # shellcheck disable=SC2086
  ip netns exec "$tool_ns" "$cli" --settings "$faulty" $command 2>"$NETNS_TMP/faulty.err" || status=$?
  check "Zone.ini $total/$subnet:$device, $command: exit" "$expected" "$status"
  expect_line "Zone.ini $total/$subnet:$device, $command: message" "$message" "$NETNS_TMP/faulty.err"
done <<'TABLE'
2|1|277|send next --all-zones|0|Zone.ini: Zone2 (Bar): '277' is not a valid DeviceIDOfVeltra value (0 to 255); the zone is left out
2|1|-236|send next --zone Bar|1|Zone.ini: Zone2 (Bar): '-236' is not a valid DeviceIDOfVeltra value (0 to 255); the zone is left out
2|257|21|send next --all-zones|0|Zone.ini: Zone2 (Bar): '257' is not a valid SubnetIDOfVeltra value (0 to 255); the zone is left out
2|1|x|send next --all-zones|1|'x' is not a valid integer value
-1|1|21|status|1|no zones in .*Zone.ini: nothing to poll
0|1|21|status|1|no zones in .*Zone.ini: nothing to poll
0|1|21|send reload|1|no zones in .*Zone.ini: nothing to send to
0|1|21|send next --all-zones|1|no zones in .*Zone.ini: nothing to send to
TABLE
# A STOP sent after them arrives after anything they might have sent: once it is logged, the
# counts of the others show what came from them.
stops_before=$(grep -c " STOP: " "$log" || true)
run send stop --zone Bar
for _ in $(seq 100); do
  [ "$(grep -c " STOP: " "$log" || true)" -gt "$stops_before" ] && break
  sleep 0.1
done
check "the STOP after them arrived" "$((stops_before + 1))" "$(grep -c " STOP: " "$log" || true)"
check "no frame from a faulty Zone.ini reached a device nobody configured" "$to_bar_before" "$(frames_to 1:21)"
check "the zone beside a faulty one was sent to" "$((to_lobby_before + 2))" "$(frames_to 1:20)"

if [ "$CHECK_FAILURES" -ne 0 ]; then
  echo "---- player stand-in log ----"
  cat "$log"
  exit 1
fi
