#!/usr/bin/env bash
# The File menu's Export and Import through the common file dialogs, as a
# user does it: export, change the database behind the program's back,
# import, answer the question about the sets that will be replaced, and see
# a file with one bad line refused with the line and field named.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION, DNS2)
  VALUES ('Office', '10.0.0.5', '255.0.0.0', '10.0.0.1', '10.0.0.53', 0, 1, '10.0.0.54'),
         ('Home', '0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 1, 1, '');"
rows() { sqlite3 "$db" "SELECT IPSET_NAME, IPADDRESS, IFNULL(DNS2, ''), DHCP FROM IPSets ORDER BY IPSET_NAME"; }
winpath() { echo "Z:$(tr / '\\' <<<"$1")"; }
# file_command DOWNS TITLE PATH: File menu, DOWNS items down, Enter, then
# PATH typed into the file dialog TITLE.
file_command() {
  local opened=1
  # Keys lost on a loaded machine leave a menu open or nothing: again.
  for _ in 1 2 3; do
    keys_to '^IPTavix Ver2$' F10 Down
    nap 0.5
    for _ in $(seq "$1"); do xdotool key Down; done
    xdotool key Return
    opened=$(probe wait "$2" 5000; echo $?)
    [ "$opened" = 0 ] && break
    xdotool key Escape Escape
  done
  check "$2 dialog opens" 0 "$opened"
  sleep 1
  focus_window "^$2\$"
  xdotool key ctrl+a
  xdotool type --delay 20 "$(winpath "$3")"
  xdotool key Return
  sleep 1.5
}
start_program
file_command 1 "Export IP Sets" "$work/sets.csv"
check "the export wrote the header after its mark" "$(printf '\xef\xbb\xbfName,Address,Mask,Gateway,DNS,DNS2,Extra,DHCP,Connection\r')" \
  "$(head -n1 "$work/sets.csv" 2>/dev/null)"
exported=$(rows)

# Both sets changed behind the program's back; the import puts them back.
sqlite3 "$db" "UPDATE IPSets SET IPADDRESS = '10.9.9.9', DNS2 = ''"
file_command 2 "Import IP Sets" "$work/sets.csv"
box=$(window_id '^QV IP Tavix Ver2$' || true)
check "the window asks before replacing" yes "$([ -n "$box" ] && echo yes || echo no)"
check "naming how many" yes "$(probe text "QV IP Tavix Ver2" | tr -d '\r' | grep -q '2 IP sets of these names exist and will be replaced.' && echo yes || echo no)"
shot replace_question
keys_to '^QV IP Tavix Ver2$' Return
sleep 1
check "the import restored the sets" "$exported" "$(rows)"

sed 's/^Home,0\.0\.0\.0,/Home,0.0.0.300,/' "$work/sets.csv" >"$work/bad.csv"
sqlite3 "$db" "UPDATE IPSets SET IPADDRESS = '10.9.9.9'"
before=$(rows)
file_command 2 "Import IP Sets" "$work/bad.csv"
check "a bad file is refused in a box" 0 "$(probe wait "QV IP Tavix Ver2" 5000; echo $?)"
check "naming the line and field" yes "$(probe text "QV IP Tavix Ver2" | tr -d '\r' | grep -q 'Line 3, field Address' && echo yes || echo no)"
shot bad_file
keys_to '^QV IP Tavix Ver2$' Return
nap 0.5
check "nothing changed" "$before" "$(rows)"
stop_program
finish
