#!/usr/bin/env bash
# Ctrl+D on set A; while the question is open the user right-clicks set B and
# activates it from the pop-up menu; then answers Yes: A is deleted, B kept.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('A', '10.0.0.1', '255.0.0.0', '', '', 0, 1), ('B', '10.0.0.2', '255.0.0.0', '', '', 0, 1);"
start_program
tree_pick 0
keys_to '^IPTavix Ver2$' ctrl+d
question=$(window_id '^IP Tavix Ver2$' || true)
check "delete asks" yes "$([ -n "$question" ] && echo yes || echo no)"
# The question has no owner: the main window still takes the mouse.
focus_window '^IPTavix Ver2$'
tree_click 1 3
probe menu any 10000 || true
shot popup_while_question
xdotool key Down Return
wait_until 20 log_lines_at_least 2 || true
# Keys pressed while the activation runs are dropped: answer once it is over.
probe gone "[IP Tavix Ver2] Please wait..." 20000 || true
check "B was activated" 'netsh interface ip set address "LAN"  static 10.0.0.2 255.0.0.0 none' \
  "$(sed -n 1p "$work/netsh-log.txt" | cut -d'|' -f4 | tr -d '\r')"
# Under Wine no adapter is the connection "LAN": the check says so; closed first.
probe wait "QV IP Tavix Ver2" 5000 || true
for _ in $(seq 25); do probe wait "QV IP Tavix Ver2" 100 || break; probe close "QV IP Tavix Ver2" || true; nap 0.2; done
# Yes on the question, until it is gone (bounded).
for _ in $(seq 10); do
  probe wait "IP Tavix Ver2" 100 || break
  probe click "IP Tavix Ver2" "&Yes" || true
  probe gone "IP Tavix Ver2" 1000 && break
done
wait_until 10 sql_is "SELECT IPSET_NAME FROM IPSets" B || true
shot after_yes
check "A deleted, B kept" "B" "$(sqlite3 "$db" "SELECT IPSET_NAME FROM IPSets")"
no_box "no message box left"
stop_program
finish
