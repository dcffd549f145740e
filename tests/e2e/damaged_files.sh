#!/usr/bin/env bash
# The real program started on damaged and hostile database files: each one
# either opens or ends with the "Application Error" box naming the file, in
# a few seconds; none hangs or crashes.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, DHCP, CONNECTION) VALUES ('A', '10.0.0.1', '255.0.0.0', 0, 1);"
cp "$db" "$work/good.ipdb"
size=$(stat -c %s "$work/good.ipdb")
try_file() { # try_file LABEL EXPECTED(opens|refused)
  rm -f "$db-journal"
  "$WINE" "$work/IPTavixVer2.exe" &
  local p=$! verdict=none
  for _ in $(seq 100); do
    if probe wait "Application Error" 100; then verdict=refused; break; fi
    if probe wait "IPTavix Ver2" 100; then verdict=opens; break; fi
  done
  if [ "$verdict" = refused ]; then
    probe text "Application Error" | tr -d '\r' | grep -q 'ipdb.ipdb' || verdict="refused without naming the file"
    [ "$1" = recursive_view ] && shot refused_box
    keys_to "^Application Error$" Return >/dev/null 2>&1 || probe close "Application Error" || true
  elif [ "$verdict" = opens ]; then
    probe close "IPTavix Ver2"
  fi
  for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; nap 0.1; done
  if kill -0 "$p" 2>/dev/null; then verdict="$verdict, then hung"; kill "$p"; fi
  wait "$p" 2>/dev/null || true
  check "$1: $2 within seconds" "$2" "$verdict"
}
head -c $((size / 2)) "$work/good.ipdb" >"$db"; try_file truncated refused
cp "$work/good.ipdb" "$db"; printf 'garbage!garbage!' | dd of="$db" bs=1 seek=16 conv=notrunc 2>/dev/null; try_file overwritten_header refused
head -c 8192 /dev/urandom >"$db"; try_file random_bytes refused
cp "$work/good.ipdb" "$db"
sqlite3 "$db" "DROP TABLE IPSets; CREATE VIEW IPSets AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r)
  SELECT n AS ID, 'x' AS IPSET_NAME, '' AS IPADDRESS, '' AS SUBNETMASK, '' AS GATEWAY, '' AS DNS, 0 AS DHCP, 1 AS CONNECTION FROM r;"
try_file recursive_view refused
cp "$work/good.ipdb" "$db"
sqlite3 "$db" "DROP TABLE Connections; CREATE TABLE Connections (ID INTEGER, CONNECTIONNAME TEXT);"
try_file table_without_key refused
cp "$work/good.ipdb" "$db"
sqlite3 "$db" "CREATE TRIGGER t AFTER INSERT ON Connections BEGIN DELETE FROM IPSets; END;"
try_file trigger opens
check "the trigger did not run" 1 "$(sqlite3 "$db" "SELECT count(*) FROM IPSets")"
# A conflict clause hidden by a comment, which SQLite keeps in the schema:
# adding a connection would silently delete another.
cp "$work/good.ipdb" "$db"
sqlite3 "$db" "DROP TABLE Connections; CREATE TABLE Connections (ID INTEGER PRIMARY KEY AUTOINCREMENT,
  CONNECTIONNAME TEXT, UNIQUE (CONNECTIONNAME) ON/**/CONFLICT REPLACE);"
try_file hidden_conflict_clause refused

# A read-only file while the registry names a connection the file does not
# hold (a new USB or VPN adapter): it opens, offers the name, writes nothing.
cp "$bin/ipcheck.exe" "$work/"
cp "$work/good.ipdb" "$db"
adapter=$("$WINE" "$work/ipcheck.exe" 2>/dev/null | tr -d '\r' | awk '/^Adapters:/ {getline; print $1; exit}')
if [ -z "$adapter" ]; then
  echo "FAILED: Wine reports no adapter, so no connection name can be registered"
  failures=$((failures + 1))
else
  key="HKLM\\SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\$adapter"
  "$WINE" reg add "$key\\Connection" /v Name /d "New USB LAN" /f >/dev/null 2>&1
  chmod a-w "$db"
  sum=$(md5sum <"$db")
  try_file read_only_with_new_connection opens
  check "the read-only file is unchanged" "$sum" "$(md5sum <"$db")"
  chmod u+w "$db"
  "$WINE" reg delete "$key" /f >/dev/null 2>&1 || true
fi
finish
