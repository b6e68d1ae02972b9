#!/usr/bin/env bash
# The Debian package as a user meets it. Made from the plain build (scripts/package-deb) and
# checked by lintian (no error allowed); installed on this machine with apt-get; the desktop
# entry checked with desktop-file-validate; kestrel-cli run from /usr/bin with its settings
# written into the XDG folder of a temporary home, against pyftpdlib on 127.0.0.1 (FTP only:
# nothing here uses the device bus, and the window and the stand-in only answer --version);
# then the package purged. The purge also runs on failure, and afterwards nothing of the
# package, the server or the home is left. Root needed.
# Usage: tests/package/deb_install_test.sh [BUILD_DIR]      (default build)
set -uo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "deb test: FAILED: $*" >&2
  exit 1
}
[ "$(id -u)" = 0 ] || fail "needs root: it installs the package on this machine"

deb=$(scripts/package-deb "$build") || fail "scripts/package-deb"
echo "package: $deb, $(stat -c %s "$deb") bytes"
echo "-- lintian --pedantic --display-info:"
lint=$(lintian --pedantic --display-info "$deb" 2>&1 | grep -v '^running with root privileges')
echo "${lint:-(nothing)}"
grep -q '^E:' <<<"$lint" && fail "lintian reports errors"

tmp=$(mktemp -d /tmp/kestrel-deb.XXXXXX)
home=$tmp/home
server=""
installed=0
installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }

# Packages this run added (the package, and any library apt had to fetch for it) go again.
purge() {
  [ "$installed" = 1 ] || return 0
  local added
  added=$(comm -13 <(echo "$before") <(installed_packages))
  installed=0
  [ -n "$added" ] || return 0
  # shellcheck disable=SC2086
  apt-get purge -y -q -o DPkg::Lock::Timeout=600 $added >"$tmp/purge.log" 2>&1 ||
    { cat "$tmp/purge.log" >&2; return 1; }
}
cleanup() {
  local status=$?
  trap - EXIT
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  purge || status=1
  rm -rf "$tmp"
  [ ! -e "$tmp" ] || { echo "deb test: $tmp is left" >&2; status=1; }
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# One package test at a time on this machine: CI and the engineers share it.
exec 9>/run/lock/kestrel-deb-test.lock
flock -w 900 9 || fail "another package test held the lock for 15 minutes"
if [ "$(dpkg-query -W -f='${db:Status-Abbrev}' kestrel 2>/dev/null)" = "ii " ]; then
  fail "the package kestrel is installed on this machine already; this test installs and removes its own (apt-get purge kestrel first)"
fi

before=$(installed_packages)
installed=1
apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "$deb" >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log" >&2; fail "apt-get install"; }
files=$(dpkg -L kestrel)
echo "installed: $(grep -c . <<<"$files") paths"

for path in /usr/bin/kestrel /usr/bin/kestrel-cli /usr/bin/kestrel-player /usr/share/applications/kestrel.desktop \
            /usr/share/icons/hicolor/scalable/apps/kestrel.svg /usr/share/icons/hicolor/48x48/apps/kestrel.png \
            /usr/share/man/man1/kestrel.1.gz /usr/share/man/man1/kestrel-cli.1.gz /usr/share/man/man1/kestrel-player.1.gz \
            /usr/share/doc/kestrel/copyright; do
  grep -qx "$path" <<<"$files" && [ -e "$path" ] || fail "$path is not installed"
done
echo "-- desktop-file-validate:"
desktop-file-validate /usr/share/applications/kestrel.desktop || fail "desktop-file-validate"
for program in kestrel kestrel-cli kestrel-player; do
  # Every library each program needs was there (the loader resolves them all before --version).
  ldd "/usr/bin/$program" | grep -q 'not found' && fail "$program misses a library: $(ldd "/usr/bin/$program" | grep 'not found')"
  [ "$("/usr/bin/$program" --version)" = "$program V1.10" ] || fail "$program --version"
done
zgrep -q 'XDG_CONFIG_HOME' /usr/share/man/man1/kestrel-cli.1.gz || fail "kestrel-cli(1) does not say where the settings are"

# A player's FTP server on the loopback address.
mkdir -p "$tmp/music/Jazz" "$tmp/music/Rock" "$home"
echo a >"$tmp/music/Jazz/a.mp3"
echo b >"$tmp/music/Rock/b.mp3"
/usr/bin/python3 tests/support/ftp_test_server.py --root "$tmp/music" --host 127.0.0.1 --port 0 >"$tmp/server.out" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q '^PORT ' "$tmp/server.out" && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$tmp/server.out")
[ -n "$port" ] || { cat "$tmp/server.out" >&2; fail "the FTP server did not start"; }

# A first run from nothing, as the README tells it: the settings written, then used.
cli() { env -u XDG_CONFIG_HOME HOME="$home" /usr/bin/kestrel-cli "$@"; }
settings=$home/.config/kestrel/Settings
echo secret | cli settings ftp --ip 127.0.0.1 --port "$port" --user kestrel --password-stdin || fail "kestrel-cli settings ftp"
[ -f "$settings/ftpServer.ini" ] || fail "no ftpServer.ini in $settings"
cli settings | grep -qF "Settings folder: $settings" || fail "kestrel-cli settings does not name $settings"
lists=$(cli playlists) || fail "kestrel-cli playlists"
[ "$lists" = "$(printf '1\t1\tJazz\n2\t2\tRock')" ] || fail "kestrel-cli playlists printed: $lists"
echo "kestrel-cli from /usr/bin listed the play lists with the settings in $settings"

purge || fail "apt-get purge"
[ -z "$(dpkg-query -W -f='${db:Status-Abbrev}' kestrel 2>/dev/null | tr -d ' ' | grep -v '^un\?$')" ] ||
  fail "dpkg still knows kestrel: $(dpkg -l kestrel | tail -n 1)"
while read -r path; do
  [ -d "$path" ] || [ ! -e "$path" ] || fail "$path is left after the purge"
done <<<"$files"
ls /usr/bin/kestrel* >/dev/null 2>&1 && fail "left in /usr/bin: $(ls /usr/bin/kestrel*)"
[ ! -e /usr/share/doc/kestrel ] || fail "/usr/share/doc/kestrel is left after the purge"
echo "purged: nothing of the package is left"
exit 0
