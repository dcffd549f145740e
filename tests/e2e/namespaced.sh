#!/usr/bin/env bash
# The command line, a set from the current configuration and undo, applied
# for real through the netsh bridge. As in netsh_bridge.sh, each case runs in
# network and mount namespaces of its own (a veth pair, a private
# resolv.conf, /run and a Wine server and prefix of its own), so the host's
# interfaces, routes and resolver are never touched.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"

if [ -z "${IPTAVIX_NETNS_CASE:-}" ]; then
  rm -rf "$2" && mkdir -p "$2"
  failed=0
  for case in ${IPTAVIX_NETNS_CASES:-cli_activate cli_failing from_adapter undo}; do
    echo "== $case"
    IPTAVIX_NETNS_CASE=$case unshare --net --mount --propagation private \
      bash "$0" "$1" "$2/$case" || failed=$((failed + 1))
  done
  # The helpers of these cases (not another checkout's) are gone with them.
  sleep 1
  for pid in $(cat "$2"/*/helper.pid 2>/dev/null); do
    if kill -0 "$pid" 2>/dev/null; then echo "FAILED: helper $pid left running"; failed=$((failed + 1)); fi
  done
  echo "$failed cases failed"
  [ "$failed" -eq 0 ]
  exit
fi

export WINEPREFIX="$root/build/wineprefix-netns"
source "$here/e2e-lib.sh"
case=$IPTAVIX_NETNS_CASE
helper=""
cleanup() {
  "$WINE" "$work/winprobe.exe" close "IPTavix Ver2" >/dev/null 2>&1 || true
  [ -n "$helper" ] && kill "$helper" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}
trap cleanup EXIT

# ipt0 here, ipt0p in the helper namespace; the configuration the sets
# replace: 192.0.2.50/24 via 192.0.2.1, name server 192.0.2.53.
ip link set lo up
unshare --net sleep 600 &
helper=$!
echo "$helper" >"$work/helper.pid"
sleep 0.2
ip link add ipt0 type veth peer name ipt0p
ip link set ipt0p netns "$helper"
nsenter -t "$helper" -n ip link set lo up
nsenter -t "$helper" -n ip addr add 10.77.0.1/24 dev ipt0p
nsenter -t "$helper" -n ip link set ipt0p up
ip link set ipt0 up
ip addr add 192.0.2.50/24 dev ipt0
ip route add default via 192.0.2.1 dev ipt0
printf 'search test.invalid\nnameserver 192.0.2.53\n' >"$work/resolv.conf"
mount --bind "$work/resolv.conf" /etc/resolv.conf
for dir in /run /var/lib/dhcp /tmp/.wine-0; do
  mkdir -p "$dir" && mount -t tmpfs -o mode=0755 tmpfs "$dir"
done
chmod 0700 /tmp/.wine-0
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1
"$WINE" wineboot </dev/null >/dev/null 2>&1 || true
"$root/scripts/wine-netsh.sh" install >/dev/null

connection=ipt0
[ "$case" = cli_failing ] && connection=ipt9
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('$connection');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Case', '10.77.0.10', '255.255.255.0', '10.77.0.1', '10.77.0.53', 0, 1);"
host_state() {
  ip -4 -o addr show dev ipt0 | awk '{print $4}'
  ip -4 route show default | sed 's/ *$//'
  grep nameserver /etc/resolv.conf
}
before=$(host_state)
set_state="$(printf '10.77.0.10/24\ndefault via 10.77.0.1 dev ipt0 metric 1\nnameserver 10.77.0.53')"
wait_apply() {
  probe wait "[IP Tavix Ver2] Please wait..." 10000 || true
  for _ in $(seq 120); do
    probe wait "[IP Tavix Ver2] Please wait..." 100 || break
    sleep 0.5
  done
  sleep 1.5
}

case $case in
cli_activate | cli_failing)
  if [ "$case" = cli_activate ]; then
    set +e
    timeout 60 "$WINE" "$work/IPTavixVer2.exe" /activate "no such set" >/dev/null 2>&1
    code=$?
    set -e
    check "/activate of an unknown set exits 2" 2 "$code"
    check "and changes nothing on the host" "$before" "$(host_state)"
  fi
  set +e
  out=$(timeout 120 "$WINE" "$work/IPTavixVer2.exe" /activate case 2>/dev/null | tr -d '\r')
  code=${PIPESTATUS[0]}
  set -e
  echo "output: $out"
  if [ "$case" = cli_activate ]; then
    check "/activate exits 0 after the apply" 0 "$code"
    check "the host has the set's configuration" "$set_state" "$(host_state)"
  else
    check "/activate of a set whose apply fails exits 1" 1 "$code"
    check "nothing on the host changed" "$before" "$(host_state)"
  fi
  check "no message box" 0 "$(box_count)"
  ;;
from_adapter)
  start_program
  sleep 1
  keys_to '^IPTavix Ver2$' ctrl+n
  check "Ctrl+N opens the add dialog" 0 "$(probe wait "Add new IP Set" 10000; echo $?)"
  sleep 0.5
  shot from_adapter_dialog
  xdotool type --delay 30 "Taken"
  probe click "Add new IP Set" Ok
  sleep 1
  check "stored exactly what the adapter has" "Taken|192.0.2.50|255.255.255.0|192.0.2.1|192.0.2.53||0|ipt0" \
    "$(sqlite3 "$db" "SELECT IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, IFNULL(DNS2, ''), DHCP, CONNECTIONNAME
      FROM IPSets JOIN Connections ON Connections.ID = CONNECTION WHERE IPSET_NAME = 'Taken'")"
  check "no message box" 0 "$(box_count)"
  stop_program
  ;;
undo)
  start_program
  sleep 1
  tree_click 0
  sleep 0.3
  keys_to '^IPTavix Ver2$' ctrl+a
  wait_apply
  check "the set was applied" "$set_state" "$(host_state)"
  keys_to '^IPTavix Ver2$' ctrl+z
  wait_apply
  check "Ctrl+Z put back the address, gateway and DNS" "$before" "$(host_state | sed 's/ metric 1$//')"
  : >"$work/after-undo"
  keys_to '^IPTavix Ver2$' ctrl+z
  sleep 2
  check "a second Ctrl+Z runs nothing" 1 "$(probe wait "[IP Tavix Ver2] Please wait..." 100; echo $?)"
  check "no message box" 0 "$(box_count)"
  stop_program
  ;;
esac
finish
