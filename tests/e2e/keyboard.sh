#!/usr/bin/env bash
# The keyboard alone: addresses typed in one go (with dots, and without any
# separator), Backspace across parts, a digit over a selected full part; in
# the main window Tab reaches the tree, the arrows move without picking and
# Enter picks the set that Ctrl+E then opens.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Alpha', '10.0.0.1', '255.0.0.0', '', '', 0, 1),
         ('Beta', '10.0.0.2', '255.0.0.0', '', '', 0, 1);"
start_program
add='Add new IP Set'
edit='Edit existing IP Set'

keys_to '^IPTavix Ver2$' Insert
check "Insert opens the add dialog" 0 "$(probe wait "$add" 10000; echo $?)"
dialog_ready "$add"
xdotool type --delay 30 "Typed"
xdotool key Tab
xdotool type --delay 30 "10.1.2.3"
xdotool key Tab
xdotool type --delay 30 "255255255"
xdotool type --delay 30 "0"
xdotool key Tab
# 10.1.9.7, then Backspace three times: the 7 goes, the empty fourth part
# gives way to the third, whose 9 goes; "2.1" completes 10.1.2.1.
xdotool type --delay 30 "10.1.9.7"
xdotool key --delay 50 BackSpace BackSpace BackSpace
xdotool type --delay 30 "2.1"
xdotool key Tab
# The DNS server's fourth part, left and come back to with Shift+Tab, is
# selected: one digit replaces its "255".
xdotool type --delay 30 "1.2.3.255"
xdotool key Tab
xdotool key shift+Tab
xdotool type --delay 30 "1"
# The last digit is in once the DNS server's fourth part reads "1"; a message
# of the typing would have come by then.
wait_until 10 focus_is "$add" "Edit|1" || true
no_box "typing shows no message"
shot typed
click_on "$add" Ok
check "Ok closes the dialog" 0 "$(gone "$add"; echo $?)"
no_box "no message after Ok"
check "the typed addresses are stored" "10.1.2.3|255.255.255.0|10.1.2.1|1.2.3.1" \
  "$(sqlite3 "$db" "SELECT IPADDRESS, SUBNETMASK, GATEWAY, DNS FROM IPSets WHERE IPSET_NAME = 'Typed'")"

# What a screen reader, another program, reads for the tree and the list.
check "the tree is named" "Available IP Sets" "$(probe accname "IPTavix Ver2" SysTreeView32 | tr -d '\r')"
check "the list is named" "Current Configuration" "$(probe accname "IPTavix Ver2" SysListView32 | tr -d '\r')"

# The tree by Tab; the arrows alone pick nothing.
focus_window '^IPTavix Ver2$'
for _ in $(seq 8); do
  probe focus "IPTavix Ver2" | tr -d '\r' | grep -q '^SysTreeView32|' && break
  xdotool key Tab
  nap 0.2 # the focus moves when the key is taken: no state to wait for before it
done
check "Tab reaches the tree" yes "$(probe focus "IPTavix Ver2" | tr -d '\r' | grep -q '^SysTreeView32|' && echo yes || echo no)"
xdotool key --delay 100 Home Down
keys_to '^IPTavix Ver2$' ctrl+e
# Nothing may open: the second waited for the editor is the settle.
check "arrows alone pick no set: Ctrl+E opens nothing" 1 "$(probe wait "$edit" 1000; echo $?)"
shot tree_moved
xdotool key Return
keys_to '^IPTavix Ver2$' ctrl+e
check "Enter picks the set and Ctrl+E opens it" 0 "$(probe wait "$edit" 10000; echo $?)"
dialog_ready "$edit"
shot picked_by_enter
keys_to "^$edit\$" ctrl+a
xdotool type --delay 30 "Beta renamed"
click_on "$edit" Ok
gone "$edit" || true
check "the set under the keyboard was edited" "Alpha|Beta renamed|Typed" \
  "$(sqlite3 "$db" "SELECT group_concat(IPSET_NAME, '|') FROM (SELECT IPSET_NAME FROM IPSets ORDER BY ID)")"
stop_program
finish
