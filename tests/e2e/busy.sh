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
tree_pick 0
main=$(window_id '^IPTavix Ver2$')
# The second row's place is asked for first: while the activation runs only
# quick native commands follow, so on a loaded machine too the keys and
# clicks come before it ends.
read -r x y < <(probe treeitem "IPTavix Ver2" 1 | tr -d '\r')
keys_to '^IPTavix Ver2$' ctrl+a
box=$(window_id '^\[IP Tavix Ver2\] Please wait...$' || true)
check "wait window appears" yes "$([ -n "$box" ] && echo yes || echo no)"
xdotool windowactivate "$main" >/dev/null 2>&1 || true
xdotool mousemove "$x" "$y" click 1
xdotool key --clearmodifiers ctrl+a Insert ctrl+d ctrl+e
xdotool mousemove "$x" "$y" click 3
xdotool key Escape
check "the keys came while the activation ran" 0 "$(probe wait "[IP Tavix Ver2] Please wait..." 0; echo $?)"
shot busy
wait_until 30 log_lines_at_least 2 || true
check "the wait window closed" 0 "$(probe gone "[IP Tavix Ver2] Please wait..." 30000; echo $?)"
# A queued key would act as soon as the wait window closes: the second given
# to the editor's appearing is the settle that a queued Ctrl+A's netsh (which
# logs on start) would need too.
check "no editor opened later" 1 "$(probe wait "Add new IP Set" 1000; echo $?)"
check "exactly one activation ran" 2 "$(wc -l <"$work/netsh-log.txt")"
# The one box is the check's: no adapter under Wine is the connection "LAN".
check "no question appeared, only the check's message" "1 yes" \
  "$(box_count) $(probe text "QV IP Tavix Ver2" | grep -q 'could not be checked' && echo yes || echo no)"
probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
check "both sets kept" 2 "$(sqlite3 "$db" "SELECT count(*) FROM IPSets")"
stop_program
finish
