#!/usr/bin/env bash
# The real program under Xvfb: pick a set with the mouse, press Ctrl+A, see
# the wait window, and find both command lines in the netsh stand-in's log.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Home', '0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 1, 1),
         ('Office', '192.168.1.10', '255.255.255.0', '192.168.1.1', '192.168.1.1', 0, 1);"
# Each run lasts a second, so the wait window stays long enough to be seen:
# without the old fixed pauses an activation through the stand-in is over
# before a window search from outside returns.
echo 1000 >"$work/netsh-delay.txt"
start_program
tree_pick 1
keys_to '^IPTavix Ver2$' ctrl+a
box=$(window_id '^\[IP Tavix Ver2\] Please wait...$' || true)
check "wait window appears" yes "$([ -n "$box" ] && echo yes || echo no)"
shot wait_window
# Both runs and the check take a few seconds; the wait window then closes.
wait_until 20 log_lines_at_least 2 || true
check "wait window closed" 0 "$(probe gone "[IP Tavix Ver2] Please wait..." 20000; echo $?)"
check "address command" 'netsh interface ip set address "LAN"  static 192.168.1.10 255.255.255.0 192.168.1.1 1' \
  "$(sed -n 1p "$work/netsh-log.txt" | cut -d'|' -f4 | tr -d '\r')"
check "DNS command" 'netsh interface ip set dns "LAN"  static 192.168.1.1 primary' \
  "$(sed -n 2p "$work/netsh-log.txt" | cut -d'|' -f4 | tr -d '\r')"
check "started hidden, output through a pipe" "0|257" "$(sed -n 1p "$work/netsh-log.txt" | cut -d'|' -f2,3)"
stop_program
finish
