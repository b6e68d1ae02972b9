# Running the unpacked Windows programs under Wine for the package checks (sourced after
# tests/support/netns.sh).
#
# Wine creates a program's sockets in its wineserver, so the server decides which network a
# Windows program is on. Every Wine program of these checks therefore runs with a wineserver
# started inside the check's own namespace, and a check makes sure no other server of its prefix
# is running first: nothing a Windows program sends can reach the machine's interfaces.
#
#   wine_env PREFIX           use the Wine prefix PREFIX (made inside the namespace on first use)
#   wine_server_in NS         stop any server of the prefix, start one inside namespace NS
#   wine_in NS PROGRAM ARGS   run a Windows program inside NS (its server must be in NS)
#   wine_stop                 stop the prefix's server and every program it runs
#   wine_path PATH            the Windows name of a Linux path (Wine's drive Z: is /)

WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
WINE_NS=""

wine_env() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  # No .NET or HTML engine: nothing to install at boot. No menu builder: a Start menu entry made
  # in the prefix stays there, never in the Linux desktop's menus.
  export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
  export WINEARCH=win64
  # Wine names Unix files in the locale's character set: UTF-8, as the Linux file names are.
  export LC_ALL=C.UTF-8
  unset DISPLAY WAYLAND_DISPLAY
  [ -x "$WINE" ] || netns_fail "wine64 is missing: run scripts/deps"
}

wine_stop() {
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
  WINE_NS=""
}

# The pid of the wineserver serving the prefix, or nothing.
wine_server_pid() {
  local pid
  for pid in $(pgrep -x 'wineserver|wineserver64' || true); do
    if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
      return
    fi
  done
}

wine_server_in() {
  local ns=$1 pid
  wine_stop
  mkdir -p "$WINEPREFIX"
  ip netns exec "$ns" "$WINESERVER" -p || netns_fail "cannot start a wineserver in $ns"
  for _ in $(seq 50); do
    pid=$(wine_server_pid)
    [ -n "$pid" ] && break
    sleep 0.1
  done
  [ -n "$pid" ] || netns_fail "the wineserver of $WINEPREFIX did not start"
  # The server must be in the namespace, never on the machine's own network.
  [ "$(readlink "/proc/$pid/ns/net")" = "$(readlink "/proc/self/ns/net")" ] &&
    netns_fail "the wineserver is not inside $ns"
  ip netns pids "$ns" | grep -qx "$pid" || netns_fail "the wineserver is not inside $ns"
  WINE_NS=$ns
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    local boot=$SECONDS
    # A fresh prefix needs up to half a minute for its first start.
    ip netns exec "$ns" "$WINE" wineboot --init >/dev/null 2>&1 || netns_fail "wineboot failed"
    echo "Wine prefix created in $((SECONDS - boot)) s"
  fi
}

wine_in() {
  local ns=$1
  shift
  [ "$WINE_NS" = "$ns" ] || netns_fail "no wineserver in $ns (call wine_server_in first)"
  ip netns exec "$ns" "$WINE" "$@"
}

wine_path() {
  local p=$1
  printf 'Z:%s' "${p//\//\\}"
}
