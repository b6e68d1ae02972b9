#!/usr/bin/env bash
# Runs the program's zone control against the player stand-in: the tests in one network
# namespace, the stand-in with three devices (1:20, 1:21, 1:22) in another, joined by a veth
# pair. "answering": reloads end after a second; "silent": a reload never ends (time-outs). A test
# switches devices off by naming them in the file KESTREL_PLAYER_OFF.
# Everything is made for this run and removed afterwards. Needs root.
#
# Usage: run_zone_test.sh answering|silent TEST_PROGRAM PLAYER_PROGRAM
set -euo pipefail
scenario=$1
tests=$2
player=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/netns.sh"

case $scenario in
  answering) reload=1 filter='ZoneSession.*:StartAndClose.*' net=10.81.1 ;;
  silent) reload=3600 filter='SilentReload.*' net=10.82.1 ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

netns_pair "kzone$scenario$$" pc "$net.1/24" player "$net.2/24"
pc_ns=$NETNS_PC
player_ns=$NETNS_PEER

folder=$NETNS_TMP/playlists
mkdir -p "$folder/Jazz" "$folder/Rock"
for s in "a one" "b two" "c three"; do : >"$folder/Jazz/$s.mp3"; done
: >"$folder/Rock/r1.mp3"

log=$NETNS_TMP/player.log
ip netns exec "$player_ns" "$player" --address "$net.2" --device 1:20 --device 1:21 --device 1:22 \
  --folder "$folder" --reload-seconds "$reload" --off-file "$NETNS_TMP/off" >"$log" 2>&1 &
netns_track $!
netns_wait_for_line "$log" "^kestrel-player on $net.2" 10

status=0
KESTREL_PLAYER_LOG=$log KESTREL_PLAYER_OFF=$NETNS_TMP/off KESTREL_PLAY_FOLDER=$folder QT_QPA_PLATFORM=offscreen \
  ip netns exec "$pc_ns" "$tests" --gtest_filter="$filter" || status=$?
if [ $status -ne 0 ]; then
  echo "---- player stand-in log (last 60 lines) ----"
  tail -60 "$log"
fi
exit $status
