#!/usr/bin/env bash
# "kestrel-cli zones scan" against the player stand-in serving 1:20, 1:21 and 2:7: the program
# in one network namespace, the stand-in in another, joined by a veth pair with private
# addresses. Everything is made for this run and removed afterwards. Needs root.
# Usage: cli_scan_test.sh CLI PLAYER
set -euo pipefail
cli=$1
player=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/netns.sh"
. "$here/../../support/checks.sh"

netns_pair "kscan$$" tool 10.79.3.1/24 player 10.79.3.2/24
tool_ns=$NETNS_PC
player_ns=$NETNS_PEER

folder=$NETNS_TMP/playlists
mkdir -p "$folder/Jazz"
truncate -s 80000 "$folder/Jazz/a.mp3"
settings=$NETNS_TMP/Settings
mkdir -p "$settings"
printf '; the site\r\n[TotalZones]\r\nTotalZones=1\r\n[Zone1]\r\nZoneName=Lobby\r\nSubnetIDOfVeltra=1\r\nDeviceIDOfVeltra=20\r\n' >"$settings/Zone.ini"
cp "$settings/Zone.ini" "$NETNS_TMP/Zone.ini.before"

log=$NETNS_TMP/player.log
ip netns exec "$player_ns" "$player" --address 10.79.3.2 --device 1:20 --device 1:21 --device 2:7 \
  --folder "$folder" --attenuation 25 --mode 3 >"$log" 2>&1 &
netns_track $!
netns_wait_for_line "$log" "^kestrel-player on 10.79.3.2" 10

run() { ip netns exec "$tool_ns" "$cli" --settings "$settings" "$@"; }

start=$(date +%s%N)
run zones scan --subnet 1-2 >"$NETNS_TMP/scan.out" 2>"$NETNS_TMP/scan.err"
echo "scan of 2 subnets: $((($(date +%s%N) - start) / 1000000)) ms for the whole process; $(cat "$NETNS_TMP/scan.err")"
echo "scan of 1 subnet: $(run zones scan --subnet 1 2>&1 >/dev/null)"
check "scan finds exactly the three, Lobby marked" "$(printf '1:20\tLobby\n1:21\t(new)\n2:7\t(new)')" "$(cut -f1,2 "$NETNS_TMP/scan.out")"
check "what each reports" 3 "$(grep -c 'Volume: 68%.  Play Mode: Play List' "$NETNS_TMP/scan.out")"
check "nothing written without --add" "unchanged" \
  "$(cmp -s "$settings/Zone.ini" "$NETNS_TMP/Zone.ini.before" && [ ! -e "$settings/Zone.ini.bak" ] && echo unchanged)"

# The default subnets are those of Zone.ini, --devices narrows the range, and the JSON has the
# same devices.
check "default subnet 1, devices 20-21, JSON" "1:20 True Lobby|1:21 False -|2 addresses" \
  "$(run --json zones scan --devices 20-21 2>/dev/null | python3 -c '
import json, sys
d = json.load(sys.stdin)
print("|".join("%s %s %s" % (x["address"], x["inZoneIni"], x.get("zone", "-")) for x in d["devices"]) + "|%d addresses" % d["addresses"])')"

while IFS='|' read -r args expected_status what; do
  status=0
  # shellcheck disable=SC2086
  run zones scan $args >/dev/null 2>&1 || status=$?
  check "$what" "$expected_status" "$status"
done <<'TABLE'
--subnet 3|2|nobody answers: exit 2
--subnet 2-1|1|a range backwards is refused
--devices 1-256|1|a device beyond 255 is refused
--subnet x|1|no number is refused
TABLE

status=0
run zones scan --subnet 1-2 --add --name-prefix Room >/dev/null 2>"$NETNS_TMP/add.err" || status=$?
check "--add" 0 "$status"
check "Zone.ini after --add, read by the program" "$(printf 'Lobby\t1:20\nRoom 1:21\t1:21\nRoom 2:7\t2:7')" "$(run zones)"
check "the file as it was kept" "" "$(cmp "$settings/Zone.ini.bak" "$NETNS_TMP/Zone.ini.before")"
check "comment and CR LF kept" "; the site" "$(head -1 "$settings/Zone.ini" | tr -d '\r')"
cp "$settings/Zone.ini" "$NETNS_TMP/Zone.ini.added"
run zones scan --subnet 1-2 --add >/dev/null 2>&1
check "a second --add adds nothing" "" "$(cmp "$settings/Zone.ini" "$NETNS_TMP/Zone.ini.added")"

# The stand-in answered only for its own devices.
check "the stand-in answered no other address" 0 "$(grep -cv -e '^kestrel-player' -e '^1:20 ' -e '^1:21 ' -e '^2:7 ' "$log" || true)"

if [ "$CHECK_FAILURES" -ne 0 ]; then
  echo "---- player stand-in log ----"
  cat "$log"
  exit 1
fi
