#!/usr/bin/env bash
# While an activation runs (a slow netsh), the user presses Ctrl+A again,
# Insert, Ctrl+D and clicks around: nothing else starts, nothing is queued
# for later, and the wait window closes when the activation ends.
source "$(dirname "$0")/e2e-lib.sh"
echo 3000 >"$work/netsh-delay.txt"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('A', '10.0.0.1', '255.0.0.0', '10.0.0.254', '10.0.0.254', 0, 1), ('B', '0.0.0.0', '0.0.0.0', '', '', 1, 1);"
start_program
tree_click 0
sleep 0.3
keys_to '^IPTavix Ver2$' ctrl+a
check "wait window appears" 0 "$(probe wait "[IP Tavix Ver2] Please wait..." 10000; echo $?)"
main=$(window_id '^IPTavix Ver2$')
xdotool windowactivate "$main" >/dev/null 2>&1 || true
tree_click 1
xdotool key --clearmodifiers ctrl+a Insert ctrl+d ctrl+e
tree_click 1 3
xdotool key Escape
shot busy
for _ in $(seq 150); do [ "$(wc -l <"$work/netsh-log.txt" 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.2; done
sleep 5
check "the wait window closed" 1 "$(probe wait "[IP Tavix Ver2] Please wait..." 100; echo $?)"
check "exactly one activation ran" 2 "$(wc -l <"$work/netsh-log.txt")"
check "no editor opened later" 1 "$(probe wait "Add new IP Set" 1000; echo $?)"
# The one box is the check's: no adapter under Wine is the connection "LAN".
check "no question appeared, only the check's message" "1 yes" \
  "$(box_count) $(probe text "QV IP Tavix Ver2" | grep -q 'could not be checked' && echo yes || echo no)"
probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
check "both sets kept" 2 "$(sqlite3 "$db" "SELECT count(*) FROM IPSets")"
stop_program
finish
