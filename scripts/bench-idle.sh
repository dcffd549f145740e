#!/usr/bin/env bash
# The program's CPU time over one idle minute with its notification-area icon
# shown (trayer docks it) and 1,000 stored sets: the program's own process and
# the Wine server it talks to. Started by bench.sh inside its Wine session;
# BIN is the folder of the built programs.
set -euo pipefail
bin=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
cp "$bin"/{IPTavixVer2.exe,ipdbinit.exe,winprobe.exe} "$work/"
WINE="$(cd "$(dirname "$0")" && pwd)/wine-run"
"$WINE" "$work/ipdbinit.exe" >/dev/null
sqlite3 "$work/DataBase/ipdb.ipdb" "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  SELECT 'Set ' || i, '10.' || (i / 256) || '.' || (i % 256) || '.5', '255.255.0.0', '', '', 0, 1 FROM n;"
trayer --edge top --align right --widthtype request --height 32 --SetDockType true >/dev/null 2>&1 &
tray=$!
"$WINE" "$work/IPTavixVer2.exe" /tray >/dev/null 2>&1 &
launcher=$!
trap 'kill "$tray" 2>/dev/null || true; kill "$launcher" 2>/dev/null || true' EXIT
# ticks PID: user and system time of a process, in clock ticks.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
program=""
for _ in $(seq 100); do
  program=$(pgrep -f "$work/IPTavixVer2.exe" | head -n1) || true
  [ -n "$program" ] && break
  sleep 0.1
done
# This prefix's server: its working folder is named after the prefix's
# device and inode (other prefixes on the machine have servers of their own).
prefix="${WINEPREFIX:-$HOME/.wine}"
folder=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
server=""
for s in $(pgrep -f wineserver); do
  [[ "$(readlink "/proc/$s/cwd" 2>/dev/null)" == */"$folder" ]] && server=$s
done
sleep 10 # start-up and the icon's docking are over
p0=$(ticks "$program") s0=$( [ -n "$server" ] && ticks "$server" || echo 0)
sleep 60
p1=$(ticks "$program") s1=$( [ -n "$server" ] && ticks "$server" || echo 0)
hz=$(getconf CLK_TCK)
printf 'idle minute with the icon, 1000 sets: program %d ms CPU, Wine server %d ms CPU\n' \
  $(((p1 - p0) * 1000 / hz)) $(((s1 - s0) * 1000 / hz))
# Ended as a user ends it, so Wine's notification area drops the icon: a
# second start shows the window, which is then closed.
"$WINE" "$work/IPTavixVer2.exe" >/dev/null 2>&1 || true
"$WINE" "$work/winprobe.exe" wait "IPTavix Ver2" 10000 && "$WINE" "$work/winprobe.exe" close "IPTavix Ver2"
wait "$launcher" 2>/dev/null || true
