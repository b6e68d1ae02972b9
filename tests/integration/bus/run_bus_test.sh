#!/usr/bin/env bash
# Runs the bus integration tests of one scenario: the test program in one network namespace,
# the player stand-in in another, joined by a veth pair with private addresses. Everything is
# made for this run and removed afterwards. Needs root.
#
# Usage: run_bus_test.sh lan24|mask16 TEST_PROGRAM PLAYER_PROGRAM
set -euo pipefail
scenario=$1
tests=$2
player=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../support/netns.sh"

case $scenario in
  lan24) mask=24 tool_ip=10.77.1.1 player_ip=10.77.1.2 filter='StandIn.*:OwnFrames.*:Endpoint.*' ;;
  mask16) mask=16 tool_ip=10.78.1.1 player_ip=10.78.1.255 filter='WideMask.*' ;;
  *) echo "unknown scenario $scenario" >&2; exit 2 ;;
esac

netns_pair "kbus$scenario$$" tool "$tool_ip/$mask" player "$player_ip/$mask"
tool_ns=$NETNS_PC
player_ns=$NETNS_PEER

# Play lists: "1 Jazz" (2 songs), "2 Empty" (no file, so no device number), "3 Songs" (140
# songs, the 12th "Hi" lasting 240.5 s at 128 kbit/s), "4 Rock".
folder=$NETNS_TMP/playlists
mkdir -p "$folder/1 Jazz" "$folder/2 Empty/nested" "$folder/3 Songs" "$folder/4 Rock"
truncate -s 80000 "$folder/1 Jazz/a.mp3"
truncate -s 1600000 "$folder/1 Jazz/b.mp3"
for i in $(seq -w 0 10); do : >"$folder/3 Songs/$i"; done
truncate -s 3848000 "$folder/3 Songs/Hi"
for i in $(seq -w 1 128); do : >"$folder/3 Songs/x$i"; done
: >"$folder/4 Rock/r1.mp3"

log=$NETNS_TMP/player.log
ip netns exec "$player_ns" "$player" --address "$player_ip" --device 1:20 --device 1:21 \
  --folder "$folder" --reload-seconds 1 --attenuation 25 --mode 3 --cue 1:20:2:12:312 >"$log" 2>&1 &
netns_track $!
netns_wait_for_line "$log" "^kestrel-player on $player_ip" 10

status=0
KESTREL_BUS_IP=$tool_ip KESTREL_BUS_PEER=$player_ip KESTREL_PLAYER_LOG=$log KESTREL_PLAY_FOLDER=$folder \
  ip netns exec "$tool_ns" "$tests" --gtest_filter="$filter" || status=$?
if [ $status -ne 0 ]; then
  echo "---- player stand-in log ----"
  cat "$log"
fi
exit $status
