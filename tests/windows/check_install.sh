#!/usr/bin/env bash
# The setup program under Wine, in a fresh Wine prefix, as an administrator and a user would use
# it from the command line:
#   - silent install for all users: the staged files in Program Files\Kestrel and nothing else,
#     the Start menu entry for everyone, the entry in "Apps" (HKLM), and the firewall commands
#     the setup program ran (Wine has no firewall: its netsh accepts every command and does
#     nothing, so what is checked is the commands, as logged by the setup program);
#   - the settings of the installed copy: a Settings folder beside the program that can not be
#     written is passed over for %APPDATA%\Kestrel\Settings, which takes its INI files;
#     "kestrel-cli.exe settings ftp ... --password-stdin" writes there (not beside the program),
#     the folder shows no access for others, and "kestrel-cli.exe playlists" works against an
#     FTP server on 127.0.0.1;
#   - silent uninstall: every installed file, the entry and the key gone, the firewall rules
#     removed (the commands), the settings left;
#   - silent install for the current user (the user's own programs folder, HKCU, no firewall
#     commands), which finds the settings left; an install over it in place; with a program
#     running from the folder, an install that stops and an uninstall that leaves it; the
#     uninstall.
# The times of the installs and uninstalls are printed. Everything runs in a namespace that has
# nothing but its loopback interface.
# Usage: check_install.sh SETUP_EXE STAGE INSTALLED_LIST LINUX_CLI WINE_PREFIX
#   STAGE: the staged files the setup program was made from; INSTALLED_LIST: where each one goes
#   below the install folder (as package-windows wrote it); WINE_PREFIX is made anew.
set -euo pipefail
setup=$1
stage=$2
installed_list=$3
linux_cli=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/netns.sh"
. "$here/wine.sh"
. "$here/checks.sh"

netns_begin "kwset$$"
trap checks_cleanup EXIT
netns_add lo
ns=$NETNS_LAST
rm -rf "$5"
wine_env "$5"
wine_server_in "$ns"

served=$NETNS_TMP/served
mkdir -p "$served/Jazz"
"$here/../../scripts/make-song" "$served/Jazz/a.mp3" 30000
ip netns exec "$ns" /usr/bin/python3 "$here/../support/ftp_test_server.py" --root "$served" \
  >"$NETNS_TMP/ftp.out" 2>&1 &
netns_track $!
netns_wait_for_line "$NETNS_TMP/ftp.out" "^PORT " 10
port=$(sed -n 's/^PORT //p' "$NETNS_TMP/ftp.out")

run() { wine_in "$ns" "$@" 2>>"$NETNS_TMP/wine.err" | tr -d '\r'; }
unix_path() { run winepath -u "$1"; }
windows_env() { run cmd /c "echo %$1%"; }
now() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel'
# The values of a registry key as NAME=VALUE lines, sorted.
reg_values() { run reg query "$1" | sed -n 's/^    \([^ ].*\)    REG_[A-Z_]*    \(.*\)$/\1=\2/p' | LC_ALL=C sort; }
has_key() { wine_in "$ns" reg query "$1" >/dev/null 2>&1; }

appdata=$(windows_env APPDATA)
settings_win="$appdata\\Kestrel\\Settings"
settings=$(unix_path "$settings_win")
machine_dir='C:\Program Files\Kestrel'
user_dir="$(windows_env LOCALAPPDATA)\\Programs\\Kestrel"
machine_menu="$(windows_env ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs\\Kestrel.lnk"
user_menu="$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Kestrel.lnk"

# The netsh commands meant, as the setup program logs them: VERB is add or delete.
firewall_commands() {
  local verb=$1 dir=$2 name program what
  while IFS='|' read -r name program what; do
    if [ "$verb" = add ]; then
      echo "netsh advfirewall firewall delete rule name=\"$name\""
      echo "netsh advfirewall firewall add rule name=\"$name\" dir=in action=allow program=\"$dir\\$program\" $what remoteip=localsubnet profile=any enable=yes"
    else
      echo "netsh advfirewall firewall delete rule name=\"$name\""
    fi
  done <<'EOF'
Kestrel device bus (kestrel.exe)|kestrel.exe|protocol=UDP localport=6000
Kestrel device bus (kestrel-cli.exe)|kestrel-cli.exe|protocol=UDP localport=6000
Kestrel device bus (kestrel-player.exe)|kestrel-player.exe|protocol=UDP localport=6000
Kestrel FTP data (kestrel.exe)|kestrel.exe|protocol=TCP
Kestrel FTP data (kestrel-cli.exe)|kestrel-cli.exe|protocol=TCP
EOF
}
logged_commands() { tr -d '\r' <"$1" 2>/dev/null | grep '^netsh ' || true; }

# run_setup WHAT ARGS...: runs the setup program silently and times it.
run_setup() {
  local what=$1 start status=0
  shift
  start=$(now)
  run "$(wine_path "$setup")" /S "$@" >/dev/null || status=$?
  echo "time: install $what: $(took "$start") s"
  check "install $what: exit status" 0 "$status"
}

# check_installed WHAT DIR ROOT MENU FIREWALL: the files, the Start menu entry and the key of an
# install; FIREWALL is yes when the rules belong to it.
check_installed() {
  local what=$1 dir=$2 root=$3 menu=$4 firewall=$5 unix from to differ=0 mode=/CURRENTUSER
  unix=$(unix_path "$dir")
  while IFS= read -r to; do
    case $to in Examples/*) from="Settings/${to#Examples/}" ;; *) from=$to ;; esac
    cmp -s "$stage/$from" "$unix/$to" || { echo "  differs or missing: $to" >&2; differ=$((differ + 1)); }
  done <"$installed_list"
  check "$what: the staged files are installed" 0 "$differ"
  local expected
  expected=$( {
    cat "$installed_list"
    echo uninstall.exe
    if [ "$firewall" = yes ]; then echo firewall-rules.log; fi
  } | LC_ALL=C sort)
  check "$what: nothing else in $dir" "$expected" "$(cd "$unix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)"
  local link texts
  link=$(unix_path "$menu")
  texts=$( { strings -a "$link"; strings -a -el "$link"; } 2>/dev/null || true)
  check "$what: the Start menu entry starts the installed kestrel.exe" yes \
    "$(grep -qiF "$dir\\kestrel.exe" <<<"$texts" && echo yes || echo no)"
  [ "$firewall" = yes ] && mode=/ALLUSERS
  check "$what: the entry in Apps ($root)" "$(printf '%s\n' \
    "DisplayIcon=$dir\\kestrel.exe,0" DisplayName=Kestrel DisplayVersion=1.10 "InstallLocation=$dir" \
    NoModify=0x1 NoRepair=0x1 'Publisher=The Kestrel developers' \
    "QuietUninstallString=\"$dir\\uninstall.exe\" /S $mode" "UninstallString=\"$dir\\uninstall.exe\" $mode")" \
    "$(reg_values "$root\\$key" | grep -v '^EstimatedSize=')"
  local size actual
  size=$(du -sk "$unix" | cut -f1)
  actual=$(($(reg_values "$root\\$key" | sed -n 's/^EstimatedSize=//p')))
  check "$what: its size in Apps is the folder's ($size KB)" yes \
    "$( [ "$actual" -ge $((size * 95 / 100)) ] && [ "$actual" -le $((size * 105 / 100)) ] && echo yes || echo "no: $actual KB")"
  if [ "$firewall" = yes ]; then
    check "$what: the firewall commands run" "$(firewall_commands add "$dir")" "$(logged_commands "$unix/firewall-rules.log")"
  fi
}

# run_uninstall WHAT DIR: the uninstaller, silently. It copies itself to %TEMP% and runs from there
# (so that it can remove itself); the time runs until that copy has ended.
run_uninstall() {
  local what=$1 dir=$2 start status=0 pid running command
  start=$(now)
  run "$dir\\uninstall.exe" /S >/dev/null || status=$?
  for _ in $(seq 1200); do
    running=no
    for pid in $(ip netns pids "$ns"); do
      command=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null || true)
      if grep -q '\\~nsu[^\\]*\.tmp\\Un' <<<"$command"; then running=yes; fi
    done
    [ "$running" = no ] && break
    sleep 0.1
  done
  echo "time: uninstall $what: $(took "$start") s"
  check "uninstall $what: exit status" 0 "$status"
  check "uninstall $what: its copy has ended" no "$running"
}

# check_uninstalled WHAT DIR ROOT MENU: nothing of the install is left but the settings.
check_uninstalled() {
  local what=$1 dir=$2 root=$3 menu=$4
  check "$what: the install folder is gone" no "$( [ -e "$(unix_path "$dir")" ] && echo yes || echo no)"
  check "$what: the Start menu entry is gone" no "$( [ -e "$(unix_path "$menu")" ] && echo yes || echo no)"
  check "$what: the entry in Apps is gone" no "$(has_key "$root\\$key" && echo yes || echo no)"
  check "$what: the settings are left" "Port=$port" "$(grep -o "^Port=$port" "$settings/ftpServer.ini" 2>/dev/null || true)"
}

cli() { run "$1\\kestrel-cli.exe" "${@:2}"; }
json_field() { python3 -c 'import json, sys; print(json.load(sys.stdin)[sys.argv[1]])' "$1"; }

echo "-- for all users"
run_setup "for all users" /ALLUSERS
check_installed "for all users" "$machine_dir" HKLM "$machine_menu" yes
program=$(unix_path "$machine_dir")

# A Settings folder beside the program that can not be written (as under Program Files for a
# user; root writes everywhere, so the folder is made immutable) is passed over, and its INI
# files go to the user's folder when that is made.
mkdir "$program/Settings"
ini "$program/Settings/Zone.ini" '; prepared by the installer of this site' '[TotalZones]' 'TotalZones=0'
if chattr +i "$program/Settings"; then
  shown=$(cli "$machine_dir" --json settings || true)
  check "a Settings folder beside the program that can not be written is passed over" \
    "$settings_win user" "$(json_field folder <<<"$shown") $(json_field place <<<"$shown")"
  check_same_file "the user's folder takes its INI files" "$program/Settings/Zone.ini" "$settings/Zone.ini"
  chattr -i "$program/Settings"
else
  check "chattr +i makes a folder that can not be written" 0 1
fi
rm -rf "$program/Settings"

status=0
echo secret | cli "$machine_dir" settings ftp --ip 127.0.0.1 --port "$port" --user kestrel --password-stdin \
  >/dev/null || status=$?
check "settings ftp: exit status" 0 "$status"
check "settings ftp writes to $settings_win" "Port=$port" "$(grep -o "^Port=$port" "$settings/ftpServer.ini" || true)"
check "settings ftp writes nothing beside the program" no "$( [ -e "$program/Settings" ] && echo yes || echo no)"
# Wine keeps no access lists; it turns the one the folder is made with into the Unix mode.
check "the user's folders show no access for others" "0 0" \
  "$(stat -c %a "$settings" | cut -c3) $(stat -c %a "$(dirname "$settings")" | cut -c3)"
shown=$(cli "$machine_dir" --json settings || true)
check "kestrel-cli settings names the folder" "$settings_win user" \
  "$(json_field folder <<<"$shown") $(json_field place <<<"$shown")"
expected=$(ip netns exec "$ns" "$linux_cli" --settings "$settings" playlists)
check "playlists lists what the Linux kestrel-cli lists" "$expected" "$(cli "$machine_dir" playlists || true)"

run_uninstall "for all users" "$machine_dir"
check_uninstalled "for all users" "$machine_dir" HKLM "$machine_menu"
check "for all users: the firewall rules are removed" "$(firewall_commands delete "$machine_dir")" \
  "$(logged_commands "$(unix_path "$(windows_env TEMP)")/Kestrel-uninstall.log")"

echo "-- for the current user"
run_setup "for the current user" /CURRENTUSER
check_installed "for the current user" "$user_dir" HKCU "$user_menu" no
cp "$settings/ftpServer.ini" "$NETNS_TMP/ftpServer.ini"
check "for the current user: the settings left are found, the play lists listed" "$expected" \
  "$(cli "$user_dir" playlists || true)"
run_setup "over the earlier one in place"  # without a mode: the earlier install's
check_installed "in place" "$user_dir" HKCU "$user_menu" no
check "in place: no install for all users" no "$(has_key "HKLM\\$key" && echo yes || echo no)"
check_same_file "in place: the settings are kept" "$NETNS_TMP/ftpServer.ini" "$settings/ftpServer.ini"
check "in place: the play lists listed" "$expected" "$(cli "$user_dir" playlists || true)"
# A program running from the folder (kestrel-cli.exe waiting for a password on its input) stops
# an install over it and an uninstall, rather than leave a mixed or half-removed folder behind.
mkfifo "$NETNS_TMP/password"
exec 7<>"$NETNS_TMP/password"
ip netns exec "$ns" "$WINE" "$user_dir\\kestrel-cli.exe" settings ftp --ip 127.0.0.1 --port 1 --password-stdin \
  <"$NETNS_TMP/password" >/dev/null 2>&1 &
waiting=$!
for _ in $(seq 300); do
  for pid in $(ip netns pids "$ns"); do
    command=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null || true)
    if grep -q 'kestrel-cli\.exe settings' <<<"$command"; then break 2; fi
  done
  sleep 0.1
done
status=0
run "$(wine_path "$setup")" /S >/dev/null || status=$?
check "an install over a running kestrel-cli.exe stops: exit status" 2 "$status"
run_uninstall "while kestrel-cli.exe runs" "$user_dir"
check "an uninstall while kestrel-cli.exe runs leaves the install" yes \
  "$(has_key "HKCU\\$key" && cmp -s "$stage/kestrel-cli.exe" "$(unix_path "$user_dir")/kestrel-cli.exe" && echo yes || echo no)"
echo >&7
wait "$waiting" || true
exec 7>&-

run_uninstall "for the current user" "$user_dir"
check_uninstalled "for the current user" "$user_dir" HKCU "$user_menu"

if [ "$CHECK_FAILURES" -ne 0 ]; then
  echo "---- Wine's messages"
  tr -d '\r' <"$NETNS_TMP/wine.err" | tail -40
fi
checks_done "setup program"
