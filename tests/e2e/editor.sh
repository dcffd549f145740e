#!/usr/bin/env bash
# The real program under Xvfb: Insert opens the editor, a set is typed and
# saved and appears in the tree; Ctrl+E edits it; Ctrl+D with Yes deletes it.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN'), ('Wireless');"
start_program

keys_to '^IPTavix Ver2$' Insert
check "Insert opens the add dialog" 0 "$(probe wait "Add new IP Set" 10000; echo $?)"
dialog_ready "Add new IP Set"
# The caret starts in the name box; Tab goes on to the addresses, each typed
# with its dots as the user reads it.
xdotool type --delay 30 "Lab"
xdotool key Tab
for address in 192.168.7.20 255.255.255.0 192.168.7.1 192.168.7.1; do
  xdotool type --delay 30 "$address"; xdotool key Tab
done
# The last Tab has left the DNS server once its keys are all taken.
wait_until 10 focus_is "Add new IP Set" "ComboBox|" || true
shot add_dialog
convert "$work/add_dialog.png" -trim "$work/add_dialog_trimmed.png"
probe click "Add new IP Set" Ok
check "dialog closed after Ok" 0 "$(gone "Add new IP Set"; echo $?)"
wait_until 10 tree_shows "tree 1 " || true
shot after_ok
check "the new set is in the tree" "tree 1 list" "$(probe counts "IPTavix Ver2" | tr -d '\r' | cut -d' ' -f1-3)"
check "stored values" "Lab|192.168.7.20|255.255.255.0|192.168.7.1|192.168.7.1|0" \
  "$(sqlite3 "$db" "SELECT IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP FROM IPSets")"
shot after_add

tree_pick 0
keys_to '^IPTavix Ver2$' ctrl+e
check "Ctrl+E opens the edit dialog" 0 "$(probe wait "Edit existing IP Set" 10000; echo $?)"
dialog_ready "Edit existing IP Set"
shot edit_dialog
keys_to '^Edit existing IP Set$' ctrl+a
xdotool type --delay 30 "Lab 2"
# The real mouse on Ok: after the typed keys, where a posted click could pass them.
click_on "Edit existing IP Set" Ok
wait_until 10 sql_is "SELECT IPSET_NAME FROM IPSets" "Lab 2" || true
check "edited name stored" "Lab 2" "$(sqlite3 "$db" "SELECT IPSET_NAME FROM IPSets")"

keys_to '^IPTavix Ver2$' ctrl+d
box=$(window_id '^IP Tavix Ver2$' || true)
check "delete asks" yes "$([ -n "$box" ] && echo yes || echo no)"
shot delete_question
keys_to '^IP Tavix Ver2$' y
wait_until 10 sql_is "SELECT count(*) FROM IPSets" 0 || true
wait_until 10 tree_shows "tree 0 " || true
check "set deleted" 0 "$(sqlite3 "$db" "SELECT count(*) FROM IPSets")"
check "tree empty" "tree 0" "$(probe counts "IPTavix Ver2" | tr -d '\r' | cut -d' ' -f1-2)"
stop_program
finish
