#!/usr/bin/env bash
# The real program from a shell, as a script or a scheduled task runs it:
# what reaches the terminal, the exit code, the database and the netsh
# stand-in's log after /list, /?, /activate, /export and /import, and that no
# window asks anything.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN'), ('Wi,Fi');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION, DNS2)
  VALUES ('Office, 2nd floor', '10.0.0.5', '255.0.0.0', '10.0.0.1', '10.0.0.53', 0, 1, '10.0.0.54'),
         ('Say \"hi\"', '0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 1, 2, NULL),
         ('Twin', '10.0.0.6', '255.0.0.0', '', '', 0, 1, ''),
         ('twin', '10.0.0.7', '255.0.0.0', '', '', 0, 1, '');"
rows() { sqlite3 "$1" "SELECT IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, IFNULL(DNS2, ''), DHCP, CONNECTIONNAME
  FROM IPSets LEFT JOIN Connections ON Connections.ID = IPSets.CONNECTION ORDER BY IPSets.ID"; }

r=$(run /list)
check "/list prints the names one a line and exits 0" "$(printf 'Office, 2nd floor\nSay "hi"\nTwin\ntwin\n0')" "$r"
r=$(run /?)
check "/? prints the usage and exits 0" "Usage: IPTavixVer2.exe [/tray | /activate NAME [/confirm SECONDS] | /keep | /list ||0" \
  "$(head -n1 <<<"$r")|$(last "$r")"
for bad in "/frobnicate" "/list extra" "/activate" "/export" "/tray extra" "/keep extra" "/activate Twin /confirm 0"; do
  # shellcheck disable=SC2086
  check "$bad exits 2" 2 "$(last "$(run $bad)")"
done

r=$(run /activate "no such set")
check "/activate of an unknown set exits 2 and says so" "$(printf 'No IP set is named "no such set"; nothing was changed.\n2')" "$r"
r=$(run /activate TWIN)
check "/activate of a name two sets have exits 2" 2 "$(last "$r")"
check "nothing ran for them" no "$([ -s "$work/netsh-log.txt" ] && echo yes || echo no)"

r=$(run /activate "office, 2ND floor")
# Under Wine no adapter is the connection "LAN", so the check after the runs
# cannot confirm the set: that is told and ends with 1 (through the bridge,
# e2e namespaced shows 0).
check "/activate finds the set without case, runs it and says it could not be checked" "1 yes" \
  "$(last "$r") $(grep -q 'could not be checked' <<<"$r" && echo yes || echo no)"
check "its three lines ran" "$(printf '%s\n' 'netsh interface ip set address "LAN"  static 10.0.0.5 255.0.0.0 10.0.0.1 1' \
  'netsh interface ip set dns "LAN"  static 10.0.0.53 primary' 'netsh interface ip add dns "LAN" 10.0.0.54 index=2')" \
  "$(cut -d'|' -f4 "$work/netsh-log.txt" | tr -d '\r')"
: >"$work/netsh-log.txt"
printf '0 5' >"$work/netsh-exits.txt"
r=$(run /activate 'Say "hi"')
check "a failing apply exits 1" 1 "$(last "$r")"
check "and names the failed step" yes "$(grep -q 'Setting the DNS server: netsh ended with exit code 5.' <<<"$r" && echo yes || echo "no: $r")"
rm -f "$work/netsh-exits.txt"
no_box "no window was left or asked anything"

# A file holds each name once: the second Twin goes before the export.
sqlite3 "$db" "DELETE FROM IPSets WHERE IPSET_NAME = 'twin'"
r=$(run /export "$work/sets.csv")
check "/export exits 0" 0 "$(last "$r")"
check "the file starts with the mark and the header, CRLF" \
  "$(printf '\xef\xbb\xbfName,Address,Mask,Gateway,DNS,DNS2,Extra,DHCP,Connection\r')" "$(head -n1 "$work/sets.csv")"

# Another program folder with an empty database of its own.
other="$work/other"
mkdir -p "$other"
cp "$work/IPTavixVer2.exe" "$work/ipdbinit.exe" "$other/"
"$WINE" "$other/ipdbinit.exe" >/dev/null
sqlite3 "$other/DataBase/ipdb.ipdb" "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, DHCP, CONNECTION) VALUES ('TWIN', '1.2.3.4', '255.0.0.0', 0, 1)"
set +e
timeout 60 "$WINE" "$other/IPTavixVer2.exe" /import "$work/sets.csv" >/dev/null 2>&1
code=$?
set -e
check "/import into another database exits 0" 0 "$code"
check "it holds the same sets, its own TWIN replaced" "$(rows "$db" | sort)" "$(rows "$other/DataBase/ipdb.ipdb" | sort)"

# A file with one bad address: refused with 2, the database unchanged.
sed 's/10\.0\.0\.53/10.0.0.530/' "$work/sets.csv" >"$work/bad.csv"
before=$(rows "$db")
r=$(run /import "$work/bad.csv")
check "a file with a bad address exits 2" 2 "$(last "$r")"
check "naming the line and the field" yes "$(grep -q 'Line 2, field DNS: "10.0.0.530" is not a valid address.' <<<"$r" && echo yes || echo "no: $r")"
check "the database is unchanged" "$before" "$(rows "$db")"

# Beside an open main window: /list runs, /import is refused.
start_program
r=$(run /list)
check "/list runs beside the window" 0 "$(last "$r")"
r=$(run /import "$work/sets.csv")
check "/import is refused with 2 while the window is open" 2 "$(last "$r")"
check "the database is unchanged" "$before" "$(rows "$db")"
stop_program

# Another program holds the file's write lock, so that whichever program
# takes the database keeps it while it waits for the lock (2 s) and then
# fails with 1. locker: that program's pid.
locked() { ! sqlite3 -cmd ".timeout 0" "$db" "BEGIN IMMEDIATE; ROLLBACK;" >/dev/null 2>&1; }
lock_file() {
  python3 - "$db" <<'PY' &
import sqlite3, sys, time
connection = sqlite3.connect(sys.argv[1], isolation_level=None)
connection.execute("BEGIN IMMEDIATE")
time.sleep(60)
PY
  locker=$!
  wait_until 10 locked || echo "FAILED: the file was not locked within 10 s"
}
unlock_file() { kill "$locker" 2>/dev/null || true; wait "$locker" 2>/dev/null || true; }

# Two imports at once: one holds the database, the other is refused with 2.
lock_file
run /import "$work/sets.csv" >"$work/import1.txt" &
i1=$!
run /import "$work/sets.csv" >"$work/import2.txt" &
i2=$!
wait "$i1" "$i2" || true
unlock_file
check "of two imports at once one fails on the locked file (1), the other is refused (2)" "1 2" \
  "$(for f in import1 import2; do last "$(cat "$work/$f.txt")"; echo; done | sort | xargs)"
check "the refused one says the database is in use" yes \
  "$(grep -qh 'The database is in use' "$work"/import[12].txt && echo yes || echo no)"
check "the database is unchanged" "$before" "$(rows "$db")"

# A window started while an import runs: if the import took the database
# first, the window says it is in use and ends with 1; if the window came
# first, the import is refused with 2 and the window stays.
lock_file
run /import "$work/sets.csv" >"$work/import3.txt" &
i3=$!
nap 0.3
"$WINE" "$work/IPTavixVer2.exe" &
pid=$!
verdict=none
for _ in $(seq 100); do
  if probe wait "QV IP Tavix Ver2" 100; then verdict=told; break; fi
  if probe wait "IPTavix Ver2" 100; then verdict=opened; break; fi
done
echo "the window during an import: $verdict"
if [ "$verdict" = told ]; then
  shot window_during_import
  check "the window says the database is in use" yes \
    "$(probe text "QV IP Tavix Ver2" | tr -d '\r' | grep -q 'is in use by another program' && echo yes || echo no)"
  keys_to "^QV IP Tavix Ver2$" Return
  set +e; wait "$pid"; code=$?; set -e
  check "and ends with exit code 1" 1 "$code"
  wait "$i3" || true
  check "the import went on and failed on the lock" 1 "$(last "$(cat "$work/import3.txt")")"
else
  wait "$i3" || true
  check "the import is refused with 2 beside the window" 2 "$(last "$(cat "$work/import3.txt")")"
  stop_program
fi
unlock_file
check "the database is unchanged" "$before" "$(rows "$db")"
finish
