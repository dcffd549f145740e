#!/usr/bin/env bash
# The real program under Xvfb: Insert opens the editor, a set is typed and
# saved and appears in the tree; Ctrl+E edits it; Ctrl+D with Yes deletes it.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN'), ('Wireless');"
start_program

keys_to '^IPTavix Ver2$' Insert
check "Insert opens the add dialog" 0 "$(probe wait "Add new IP Set" 10000; echo $?)"
sleep 0.5
# The caret starts in the name box; Tab goes on to the addresses, each typed
# with its dots as the user reads it.
xdotool type --delay 30 "Lab"
xdotool key Tab
for address in 192.168.7.20 255.255.255.0 192.168.7.1 192.168.7.1; do
  xdotool type --delay 30 "$address"; xdotool key Tab
done
sleep 0.3
shot add_dialog
convert "$work/add_dialog.png" -trim "$work/add_dialog_trimmed.png"
probe click "Add new IP Set" Ok
sleep 1
shot after_ok
check "dialog closed after Ok" 1 "$(probe wait "Add new IP Set" 100; echo $?)"
check "the new set is in the tree" "tree 1 list" "$(probe counts "IPTavix Ver2" | tr -d '\r' | cut -d' ' -f1-3)"
check "stored values" "Lab|192.168.7.20|255.255.255.0|192.168.7.1|192.168.7.1|0" \
  "$(sqlite3 "$db" "SELECT IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP FROM IPSets")"
shot after_add

read -r x y < <(probe treeitem "IPTavix Ver2" 0 | tr -d '\r')
xdotool mousemove "$x" "$y" click 1
sleep 0.3
keys_to '^IPTavix Ver2$' ctrl+e
check "Ctrl+E opens the edit dialog" 0 "$(probe wait "Edit existing IP Set" 10000; echo $?)"
sleep 0.5
shot edit_dialog
keys_to '^Edit existing IP Set$' ctrl+a
xdotool type --delay 30 "Lab 2"
probe click "Edit existing IP Set" Ok
sleep 1
check "edited name stored" "Lab 2" "$(sqlite3 "$db" "SELECT IPSET_NAME FROM IPSets")"

keys_to '^IPTavix Ver2$' ctrl+d
box=$(window_id '^IP Tavix Ver2$' || true)
check "delete asks" yes "$([ -n "$box" ] && echo yes || echo no)"
shot delete_question
keys_to '^IP Tavix Ver2$' y
sleep 1
check "set deleted" 0 "$(sqlite3 "$db" "SELECT count(*) FROM IPSets")"
check "tree empty" "tree 0" "$(probe counts "IPTavix Ver2" | tr -d '\r' | cut -d' ' -f1-2)"
stop_program
finish
