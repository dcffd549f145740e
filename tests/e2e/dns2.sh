#!/usr/bin/env bash
# The real program on a file written before the second DNS server existed:
# it gains the DNS2 column at start; a set typed with Tab through all five
# address fields stores its Alt. DNS and runs three netsh lines; a set
# without one still runs two.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "ALTER TABLE IPSets DROP COLUMN DNS2;
  INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Plain', '10.0.0.5', '255.0.0.0', '10.0.0.1', '10.0.0.53', 0, 1);"
check "the older file has no DNS2" 0 "$(sqlite3 "$db" "SELECT count(*) FROM pragma_table_info('IPSets') WHERE name = 'DNS2'")"
start_program
check "the file gained DNS2 at open" 1 "$(sqlite3 "$db" "SELECT count(*) FROM pragma_table_info('IPSets') WHERE name = 'DNS2'")"
check "its set is kept" "Plain|10.0.0.53|" "$(sqlite3 "$db" "SELECT IPSET_NAME, DNS, DNS2 FROM IPSets")"

keys_to '^IPTavix Ver2$' Insert
check "Insert opens the add dialog" 0 "$(probe wait "Add new IP Set" 10000; echo $?)"
nap 0.5
xdotool type --delay 30 "Lab"
xdotool key Tab
for address in 10.0.0.6 255.0.0.0 10.0.0.1 10.0.0.53 10.0.0.54; do
  xdotool type --delay 30 "$address"; xdotool key Tab
done
nap 0.3
check "after Alt. DNS the tab goes to the connection" "ComboBox|" "$(probe focus "Add new IP Set" | tr -d '\r' | cut -d'|' -f1-2)"
xdotool key Down # the first connection, LAN
nap 0.3
shot add_dialog_alt_dns
probe click "Add new IP Set" Ok
sleep 1
check "stored with its second server and connection" "Lab|10.0.0.53|10.0.0.54|1" \
  "$(sqlite3 "$db" "SELECT IPSET_NAME, DNS, DNS2, CONNECTION FROM IPSets WHERE ID = 2")"

run_set() { # run_set ROW: picks the tree's ROW-th set and activates it
  : >"$work/netsh-log.txt"
  tree_click "$1"
  nap 0.3
  keys_to '^IPTavix Ver2$' ctrl+a
  for _ in $(seq 100); do [ "$(wc -l <"$work/netsh-log.txt")" -ge "$2" ] && break; nap 0.2; done
  sleep 2.5
  # The check's message: under Wine no adapter is the connection "LAN".
  probe text "QV IP Tavix Ver2" 2>/dev/null | grep -q 'could not be checked' &&
    probe close "QV IP Tavix Ver2" >/dev/null 2>&1
  nap 0.5
  cut -d'|' -f4 "$work/netsh-log.txt" | tr -d '\r'
}
check "a set with Alt. DNS runs three lines" \
  "$(printf '%s\n' 'netsh interface ip set address "LAN"  static 10.0.0.6 255.0.0.0 10.0.0.1 1' \
    'netsh interface ip set dns "LAN"  static 10.0.0.53 primary' \
    'netsh interface ip add dns "LAN" 10.0.0.54 index=2')" "$(run_set 1 3)"
check "a set without it runs two" \
  "$(printf '%s\n' 'netsh interface ip set address "LAN"  static 10.0.0.5 255.0.0.0 10.0.0.1 1' \
    'netsh interface ip set dns "LAN"  static 10.0.0.53 primary')" "$(run_set 0 2)"
no_box "no other message"
stop_program
finish
