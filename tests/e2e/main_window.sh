#!/usr/bin/env bash
# The real program under Xvfb: start-up with a filled tree and list, Ctrl+R,
# Ctrl+Q, and start-up without a database.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Office', '10.1.2.3', '255.255.0.0', '10.1.0.1', '10.1.0.2', 0, 1),
         ('Home', '0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 1, 1);"

cp "$bin/ipcheck.exe" "$work/"
adapters=$("$WINE" "$work/ipcheck.exe" | sed -n 's/^Adapters: //p' | tr -d '\r')
"$WINE" "$work/IPTavixVer2.exe" &
pid=$!
check "main window appears" 0 "$(probe wait "IPTavix Ver2" 30000; echo $?)"
# A set's six detail lines are inserted when it is first opened.
wait_until 10 tree_shows "tree 2 list $((adapters * 5))" || true
check "tree and list filled" "tree 2 list $((adapters * 5))" "$(probe counts "IPTavix Ver2" | tr -d '\r')"
shot main_window

# Ctrl+R rebuilds the list, which brings its first row back to the top.
probe listscroll "IPTavix Ver2" 60
before=$(probe listtop "IPTavix Ver2" | tr -d '\r')
keys_to '^IPTavix Ver2$' ctrl+r
list_at_top() { [ "$(probe listtop "IPTavix Ver2" | tr -d '\r')" = 0 ]; }
[ "$before" -gt 0 ] && wait_until 10 list_at_top || true
after=$(probe listtop "IPTavix Ver2" | tr -d '\r')
if [ "$before" -gt 0 ]; then check "Ctrl+R refreshes the list" 0 "$after"; else echo "skip: the list is too short to scroll"; fi

keys_to '^IPTavix Ver2$' ctrl+q
set +e; wait "$pid"; code=$?; set -e
check "Ctrl+Q ends the program with exit code 0" 0 "$code"

# Without the database the start-up error box appears, and nothing else.
rm -f "$db"
"$WINE" "$work/IPTavixVer2.exe" &
pid=$!
box=$(window_id '^Application Error$' || true)
check "Application Error box appears" yes "$([ -n "$box" ] && echo yes || echo no)"
shot startup_error
check "no main window during the error" 1 "$(probe wait "IPTavix Ver2" 100; echo $?)"
keys_to '^Application Error$' Return
set +e; wait "$pid"; code=$?; set -e
check "start-up failure exits with code 1" 1 "$code"
finish
