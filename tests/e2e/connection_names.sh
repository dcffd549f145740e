#!/usr/bin/env bash
# Names beyond ASCII, as a Russian or German Windows has them: a connection
# whose registry name is "Подключение 2", and "Büro" beside "Buro". They reach
# the database whole, the netsh lines carry each exactly (the stand-in logs its
# wide command line as UTF-8), /list prints them as UTF-8 to a pipe, CSV export
# and import keep them, the tree shows them, a file an earlier version wrote
# in the ANSI code page opens with its names right; a CSV file whose
# connection is name=eth1 is refused before anything changes.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('Büro'), ('Buro');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Büro fest', '10.0.0.5', '255.0.0.0', '', '', 0, 1),
         ('Buro fest', '10.0.0.6', '255.0.0.0', '', '', 0, 2);"
logged() { sed -n "${1}p" "$work/netsh-log.txt" | cut -d'|' -f4 | tr -d '\r'; }

# The registry names the connection of Wine's first adapter (its name is
# {IFINDEX-0000-0000-0000-4E6574446576}), written as UTF-16 the way Windows
# keeps it; the merge at the next start adds it.
ifindex=$(for n in /sys/class/net/*; do [ "${n##*/}" = lo ] || cat "$n/ifindex"; done | sort -n | head -n1)
key="HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\$(printf '{%08X-0000-0000-0000-4E6574446576}' "$ifindex")"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s\\Connection]\r\n"Name"="Подключение 2"\r\n' "$key" |
  iconv -f UTF-8 -t UTF-16 >"$work/name.reg"
remove_name() { "$WINE" reg delete "$key" /f >/dev/null 2>&1 || true; }
trap 'remove_name; on_exit' EXIT
"$WINE" regedit /s "Z:$work/name.reg"

r=$(run /list)
check "/list prints the names as UTF-8 to a pipe" "$(printf 'Büro fest\nBuro fest\n0')" "$r"
check "the registry's name was merged whole" "$(printf 'Büro\nBuro\nПодключение 2')" \
  "$(sqlite3 "$db" "SELECT CONNECTIONNAME FROM Connections ORDER BY ID")"
sqlite3 "$db" "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  SELECT 'Офис', '10.1.0.5', '255.255.0.0', '', '', 0, ID FROM Connections WHERE CONNECTIONNAME = 'Подключение 2'"
run /list >/dev/null
check "a later start adds it no second time" 3 "$(sqlite3 "$db" "SELECT count(*) FROM Connections")"

run /activate "офис" >/dev/null
check "/activate finds the set without regard to case and netsh gets the Cyrillic name" \
  'netsh interface ip set address "Подключение 2"  static 10.1.0.5 255.255.0.0 none' "$(logged 1)"
: >"$work/netsh-log.txt"
run /activate "BÜRO FEST" >/dev/null
check "Büro is never Buro" 'netsh interface ip set address "Büro"  static 10.0.0.5 255.0.0.0 none' "$(logged 1)"
check "and its DNS line too" 'netsh interface ip set dns "Büro"  static none primary' "$(logged 2)"

r=$(run /export "$work/sets.csv")
check "/export exits 0" 0 "$(last "$r")"
check "the file holds the names in UTF-8" "Büro fest,Buro fest,Офис|Büro,Buro,Подключение 2" \
  "$(tail -n +2 "$work/sets.csv" | cut -d, -f1 | paste -sd, | tr -d '\r')|$(tail -n +2 "$work/sets.csv" | cut -d, -f9 | paste -sd, | tr -d '\r')"
other="$work/other"
mkdir -p "$other"
cp "$work/IPTavixVer2.exe" "$work/ipdbinit.exe" "$other/"
"$WINE" "$other/ipdbinit.exe" >/dev/null
set +e
timeout 60 "$WINE" "$other/IPTavixVer2.exe" /import "$work/sets.csv" >/dev/null 2>&1
code=$?
set -e
check "/import into another database exits 0" 0 "$code"
names() { sqlite3 "$1" "SELECT IPSET_NAME || '@' || CONNECTIONNAME FROM IPSets JOIN Connections ON Connections.ID = IPSets.CONNECTION ORDER BY IPSET_NAME"; }
check "it holds the same names" "$(names "$db")" "$(names "$other/DataBase/ipdb.ipdb")"

printf '\xef\xbb\xbfName,Address,Mask,Gateway,DNS,DNS2,DHCP,Connection\r\nHijack,,,,,,1,name=eth1\r\n' >"$work/hostile.csv"
before=$(names "$db")
r=$(run /import "$work/hostile.csv")
check "a connection named name=eth1 is refused with 2" 2 "$(last "$r")"
check "naming the line, the field and the name" yes \
  "$(grep -qF 'Line 2, field Connection: The connection name "name=eth1" contains an equals sign' <<<"$r" && echo yes || echo "no: $r")"
check "nothing changed" "$before" "$(names "$db")"

# A file an earlier version wrote in the system's ANSI code page (1252 under
# Wine's default locale): read right, and rewritten as UTF-8 on the way.
earlier="$work/earlier"
mkdir -p "$earlier"
cp "$work/IPTavixVer2.exe" "$work/ipdbinit.exe" "$earlier/"
"$WINE" "$earlier/ipdbinit.exe" >/dev/null
sqlite3 "$earlier/DataBase/ipdb.ipdb" "INSERT INTO Connections (CONNECTIONNAME) VALUES (CAST(X'42FC726F' AS TEXT));
  INSERT INTO IPSets (IPSET_NAME, DHCP, CONNECTION) VALUES (CAST(X'42FC726F2032' AS TEXT), 1, 1)"
# Read-only (a file the user may not change): read right, left as it is.
chmod 0444 "$earlier/DataBase/ipdb.ipdb"
set +e
listed=$(timeout 60 "$WINE" "$earlier/IPTavixVer2.exe" /list 2>/dev/null | tr -d '\r')
set -e
check "an earlier read-only ANSI file lists its names right" "Büro 2" "$listed"
check "and is left as it was" 42FC726F2032 "$(sqlite3 "$earlier/DataBase/ipdb.ipdb" "SELECT hex(IPSET_NAME) FROM IPSets")"
chmod 0644 "$earlier/DataBase/ipdb.ipdb"
set +e
listed=$(timeout 60 "$WINE" "$earlier/IPTavixVer2.exe" /list 2>/dev/null | tr -d '\r')
set -e
check "an earlier ANSI file lists its names right" "Büro 2" "$listed"
check "and now holds them as UTF-8" "Büro|Büro 2" \
  "$(sqlite3 "$earlier/DataBase/ipdb.ipdb" "SELECT CONNECTIONNAME FROM Connections WHERE ID = 1")|$(sqlite3 "$earlier/DataBase/ipdb.ipdb" "SELECT IPSET_NAME FROM IPSets")"

: >"$work/netsh-log.txt"
start_program
shot connection_names
check "the tree shows the three sets" "tree 3" "$(probe counts "IPTavix Ver2" | cut -d' ' -f1,2)"
tree_pick 0
keys_to '^IPTavix Ver2$' ctrl+a
wait_until 30 log_lines_at_least 2 || true
check "the window's apply carries Büro" 'netsh interface ip set address "Büro"  static 10.0.0.5 255.0.0.0 none' "$(logged 1)"
# Under Wine no adapter is "Büro": the check says so, naming it.
check "the box names the connection whole" 0 "$(probe wait "QV IP Tavix Ver2" 30000; echo $?)"
check "its text" yes "$(probe text "QV IP Tavix Ver2" | grep -qF 'the connection "Büro" now' && echo yes || echo no)"
shot connection_names_box
probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
stop_program
finish
