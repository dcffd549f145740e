#!/usr/bin/env bash
# The command line, a set from the current configuration, undo, and the set
# in effect shown live, applied for real through the netsh bridge. As in netsh_bridge.sh, each case runs in
# network and mount namespaces of its own (a veth pair, a private
# resolv.conf, /run and a Wine server and prefix of its own), so the host's
# interfaces, routes and resolver are never touched.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"

source "$here/netns-lib.sh"
if [ -z "${IPTAVIX_NETNS_CASE:-}" ]; then
  # shellcheck disable=SC2086 # the cases are words
  run_netns_cases "$0" "$1" "$2" ${IPTAVIX_NETNS_CASES:-cli_activate cli_failing from_adapter undo in_effect}
  exit
fi

netns_case "$@"

connection=ipt0
[ "$case" = cli_failing ] && connection=ipt9
# live_bench (scripts/bench.sh): 1,000 sets, the last one what the host shows
# once its address moves to .60.
sets=1
[ "$case" = live_bench ] && sets=998
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('$connection');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Case', '10.77.0.10', '255.255.255.0', '10.77.0.1', '10.77.0.53', 0, 1);
  WITH RECURSIVE n(i) AS (SELECT 2 WHERE $sets > 1 UNION ALL SELECT i + 1 FROM n WHERE i < $sets)
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  SELECT 'Set ' || i, '10.78.' || (i / 250) || '.' || (i % 250 + 1), '255.255.255.0', '', '', 0, 1 FROM n;
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Start', '192.0.2.50', '255.255.255.0', '192.0.2.1', '192.0.2.53', 0, 1),
         ('Moved', '192.0.2.60', '255.255.255.0', '192.0.2.1', '192.0.2.53', 0, 1);"
host_state() {
  ip -4 -o addr show dev ipt0 | awk '{print $4}'
  ip -4 route show default | sed 's/ *$//'
  grep nameserver /etc/resolv.conf
}
bold_sets() { probe bold "IPTavix Ver2" | tr -d '\r' | paste -sd, -; }
bold_is() { [ "$(bold_sets)" = "$1" ]; }
before=$(host_state)
set_state="$(printf '10.77.0.10/24\ndefault via 10.77.0.1 dev ipt0 metric 1\nnameserver 10.77.0.53')"
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
  no_box "no message box"
  ;;
from_adapter)
  start_program
  sleep 1
  keys_to '^IPTavix Ver2$' ctrl+n
  check "Ctrl+N opens the add dialog" 0 "$(probe wait "Add new IP Set" 10000; echo $?)"
  nap 0.5
  shot from_adapter_dialog
  xdotool type --delay 30 "Taken"
  probe click "Add new IP Set" Ok
  sleep 1
  check "stored exactly what the adapter has" "Taken|192.0.2.50|255.255.255.0|192.0.2.1|192.0.2.53||0|ipt0" \
    "$(sqlite3 "$db" "SELECT IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, IFNULL(DNS2, ''), DHCP, CONNECTIONNAME
      FROM IPSets JOIN Connections ON Connections.ID = CONNECTION WHERE IPSET_NAME = 'Taken'")"
  no_box "no message box"
  stop_program
  ;;
undo)
  start_program
  sleep 1
  tree_click 0
  nap 0.3
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
  no_box "no message box"
  stop_program
  ;;
in_effect)
  start_program
  wait_until 10 bold_is Start || true
  check "the set the host shows is bold" Start "$(bold_sets)"
  check "and named in the status bar" "ipt0: Start" "$(probe status "IPTavix Ver2" | tr -d '\r')"
  tree_pick 0
  keys_to '^IPTavix Ver2$' ctrl+a
  wait_apply
  check "the set was applied" "$set_state" "$(host_state)"
  check "the applied set is bold, alone" Case "$(bold_sets)"
  # What the apply adds (whether the gateway answers) follows the connections.
  check "the status bar names it" "ipt0: Case" "$(probe status "IPTavix Ver2" | tr -d '\r' | sed 's/\. Gateway .*//')"
  shot in_effect
  # Behind the program's back: the address moves, nobody presses Refresh.
  ip addr add 10.79.0.99/24 dev ipt0
  ip addr del 10.77.0.10/24 dev ipt0
  start_ns=$(date +%s%N)
  wait_until 5 bold_is "" || true
  echo "the change showed after $((($(date +%s%N) - start_ns) / 1000000)) ms"
  check "the bold set follows within 5 s" "" "$(bold_sets)"
  check "the list shows the new address" 1 "$(probe rows "IPTavix Ver2" | grep -c '^Current IP|10\.79\.0\.99/')"
  check "the status bar shows it" "ipt0: 10.79.0.99" "$(probe status "IPTavix Ver2" | tr -d '\r')"
  shot in_effect_moved
  no_box "no message box"
  stop_program
  ;;
live_bench)
  # The host's address moved to .60 and back, five times: from the change to
  # the set that matches drawn bold (the refresh marks it after filling the
  # list, and names it in the status bar right after), seen by a probe that
  # is waiting already.
  sysctl -qw net.ipv4.conf.ipt0.promote_secondaries=1
  start_program
  wait_until 30 bold_is Start || true
  move() { # move FROM TO: the host's address, the default route kept
    ip addr add "192.0.2.$2/24" dev ipt0
    ip addr del "192.0.2.$1/24" dev ipt0
    ip route replace default via 192.0.2.1 dev ipt0
  }
  times=""
  for _ in 1 2 3 4 5; do
    : >"$work/waitbold"
    "$WINE" "$work/winprobe.exe" waitbold "IPTavix Ver2" Moved 30000 >"$work/waitbold" 2>/dev/null &
    waiter=$!
    wait_until 30 grep -q ready "$work/waitbold" || true
    move 50 60
    start_ns=$(date +%s%N)
    wait "$waiter" || true
    times+="$((($(date +%s%N) - start_ns) / 1000000)) "
    move 60 50
    wait_until 30 bold_is Start || true
  done
  check "the status bar names the set" "ipt0: Start" "$(probe status "IPTavix Ver2" | tr -d '\r')"
  median=$(tr ' ' '\n' <<<"$times" | grep . | sort -n | sed -n 3p)
  echo "live view: $median ms median from an address change to the list, bold set and status bar (1,000 sets; runs: $times)"
  # One idle minute: the program's CPU time, and the Wine server's that its
  # calls cost.
  server=""
  for p in $(pgrep wineserver || true); do
    [ "$(readlink "/proc/$p/ns/net")" = "$(cat "$work/netns")" ] && server=$p
  done
  cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
  p0=$(cpu "$pid") s0=$(cpu "$server")
  sleep 60
  p1=$(cpu "$pid") s1=$(cpu "$server")
  tick=$(getconf CLK_TCK)
  echo "idle minute: $(((p1 - p0) * 1000 / tick)) ms CPU in the program, $(((s1 - s0) * 1000 / tick)) ms in the Wine server"
  stop_program
  ;;
esac
finish
