#!/usr/bin/env bash
# The Windows bus endpoint under Wine on a real veth, in two namespaces made for this run: "pc"
# (10.n.1.1/24) and "player" (10.n.1.2/24). First kestrel-cli.exe (in pc) asks the Linux
# kestrel-player for the zones' status and sends "next"; then the Linux kestrel-cli does the same
# with kestrel-player.exe (in player), which reports the interface the adapter lookup found for
# its address and the broadcast address its replies go to. The zones are those of the Zone.ini
# the zip ships.
# Usage: check_bus.sh APP_DIR LINUX_BIN_DIR WINE_PREFIX
set -euo pipefail
app=$1
linux_bin=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/netns.sh"
. "$here/wine.sh"
. "$here/checks.sh"

netns_begin "kwbus$$"
trap checks_cleanup EXIT
net=10.76.$(($$ % 200 + 20))
netns_add pc
pc=$NETNS_LAST
netns_add player
player=$NETNS_LAST
netns_link "$pc" "$net.1/24" "$player" "$net.2/24"
player_if=$NETNS_IF_B
netns_hosts "$pc" "$net.1"
# Wine's computer name is the host name cut at the first dot and at 15 letters.
printf '%s\t%s\n' "$net.1" "$(hostname | cut -d. -f1 | cut -c1-15)" >>"/etc/netns/$pc/hosts"
wine_env "$3"

folder=$NETNS_TMP/playlists
mkdir -p "$folder/Jazz" "$folder/Rock"
truncate -s 80000 "$folder/Jazz/a.mp3" "$folder/Jazz/b.mp3" "$folder/Rock/r1.mp3"
settings=$app/Settings
# The zones of the shipped Zone.ini, as "S:D" for the stand-in.
mapfile -t devices < <(tr -d '\r' <"$settings/Zone.ini" | awk -F= '
  /^SubnetIDOfVeltra=/ {s=$2} /^DeviceIDOfVeltra=/ {print "--device"; print s ":" $2}')
[ ${#devices[@]} -ge 2 ] || netns_fail "the shipped Zone.ini names no zones"
first_zone=${devices[1]}
player_args=(--address "$net.2" "${devices[@]}" --attenuation 25 --mode 3)

# Status lines of both zones (volume from attenuation 25, play mode 3) and "next" carried out.
check_zones() {  # check_zones WHO STATUS_OUTPUT SEND_STATUS PLAYER_LOG
  local lines
  lines=$(grep -c $'^[^\t]*\t[0-9]*:[0-9]*\t.*Volume: 68%.  Play Mode: Play List' <<<"$2" || true)
  check "$1: status of every zone" "$((${#devices[@]} / 2))" "$lines"
  check "$1: send next exit status" 0 "$3"
  netns_wait_for_line "$4" "^$first_zone NEXT: " 10 && echo "ok: $1: the player carried out next" ||
    CHECK_FAILURES=$((CHECK_FAILURES + 1))
}

# 1. kestrel-cli.exe against the Linux stand-in.
log=$NETNS_TMP/player-linux.log
ip netns exec "$player" "$linux_bin/kestrel-player" "${player_args[@]}" --folder "$folder" >"$log" 2>&1 &
linux_player=$!
netns_track $linux_player
netns_wait_for_line "$log" "^kestrel-player on $net.2" 10
wine_server_in "$pc"
status=0
out=$(wine_in "$pc" "$app/kestrel-cli.exe" status 2>"$NETNS_TMP/status.err" | tr -d '\r') || status=$?
check "kestrel-cli.exe status exit status" 0 "$status"
send=0
wine_in "$pc" "$app/kestrel-cli.exe" send next --zone "$first_zone" 2>>"$NETNS_TMP/status.err" || send=$?
check_zones "kestrel-cli.exe" "$out" "$send" "$log"
wine_stop
kill "$linux_player" 2>/dev/null || true
wait "$linux_player" 2>/dev/null || true

# 2. The Linux kestrel-cli against kestrel-player.exe.
log=$NETNS_TMP/player-wine.log
wine_server_in "$player"
wine_in "$player" "$app/kestrel-player.exe" "${player_args[@]}" --folder "$(wine_path "$folder")" >"$log" 2>&1 &
netns_wait_for_line "$log" "^kestrel-player on $net.2" 60
check "kestrel-player.exe: adapter lookup and broadcast address" \
  "kestrel-player on $net.2 (interface $player_if), replying to $net.255:6000" \
  "$(grep -m1 '^kestrel-player on' "$log" | tr -d '\r' | sed 's/:6000, .*/:6000/')"
status=0
out=$(ip netns exec "$pc" "$linux_bin/kestrel-cli" --settings "$settings" status 2>"$NETNS_TMP/status2.err") || status=$?
check "kestrel-cli status of kestrel-player.exe exit status" 0 "$status"
send=0
ip netns exec "$pc" "$linux_bin/kestrel-cli" --settings "$settings" send next --zone "$first_zone" || send=$?
check_zones "kestrel-player.exe" "$out" "$send" "$log"

if [ "$CHECK_FAILURES" -ne 0 ]; then
  for f in "$NETNS_TMP"/*.log "$NETNS_TMP"/*.err; do echo "---- $f"; tr -d '\r' <"$f"; done
fi
checks_done "Bus"
