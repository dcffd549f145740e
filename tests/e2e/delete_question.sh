#!/usr/bin/env bash
# Ctrl+D on set A; while the question is open the user right-clicks set B and
# activates it from the pop-up menu; then answers Yes: A is deleted, B kept.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('A', '10.0.0.1', '255.0.0.0', '', '', 0, 1), ('B', '10.0.0.2', '255.0.0.0', '', '', 0, 1);"
start_program
tree_click 0
sleep 0.3
keys_to '^IPTavix Ver2$' ctrl+d
question=$(window_id '^IP Tavix Ver2$' || true)
check "delete asks" yes "$([ -n "$question" ] && echo yes || echo no)"
# The question has no owner: the main window still takes the mouse.
focus_window '^IPTavix Ver2$'
tree_click 1 3
sleep 0.5
shot popup_while_question
xdotool key Down Return
for _ in $(seq 100); do [ "$(wc -l <"$work/netsh-log.txt" 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.2; done
# Keys pressed while the activation runs are dropped: answer once it is over.
for _ in $(seq 50); do probe wait "[IP Tavix Ver2] Please wait..." 100 || break; sleep 0.2; done
sleep 0.5
check "B was activated" 'netsh interface ip set address "LAN"  static 10.0.0.2 255.0.0.0 none' \
  "$(sed -n 1p "$work/netsh-log.txt" | cut -d'|' -f4 | tr -d '\r')"
# Under Wine no adapter is the connection "LAN": the check says so; closed first.
probe wait "QV IP Tavix Ver2" 5000 || true
for _ in $(seq 25); do probe wait "QV IP Tavix Ver2" 100 || break; probe close "QV IP Tavix Ver2" || true; sleep 0.2; done
# Yes on the question, until it is gone (bounded).
for _ in $(seq 10); do
  probe wait "IP Tavix Ver2" 100 || break
  probe click "IP Tavix Ver2" "&Yes" || true
  sleep 0.5
done
sleep 0.5
shot after_yes
check "A deleted, B kept" "B" "$(sqlite3 "$db" "SELECT IPSET_NAME FROM IPSets")"
check "no message box left" 0 "$(box_count)"
stop_program
finish
