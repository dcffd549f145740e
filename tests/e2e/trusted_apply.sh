#!/usr/bin/env bash
# The real program, keyboard and mouse, with the netsh stand-in as the
# system's netsh: a netsh.exe planted beside the program never runs; a failing
# run's own words reach the one box; the window answers during a slow run; a
# run that never ends is stopped by the apply's time limit, the lines after it
# are not run, and the program goes on;
# sets that cannot work are refused with nothing run; leading zeros reach
# netsh in decimal; an edit of a set deleted meanwhile is told and stores
# nothing; a second start ends and leaves one main window.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION) VALUES
  ('Fails', '192.168.5.10', '255.255.255.0', '192.168.5.1', '192.168.5.1', 0, 1),
  ('Zeros', '192.168.001.010', '255.255.255.000', '192.168.001.001', '', 0, 1),
  ('Zero', '0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 0, 1),
  ('Broadcast', '192.168.1.255', '255.255.255.0', '', '', 0, 1);"
cp "$bin/tests/test_activation/netsh-standin.exe" "$work/netsh.exe" # planted beside the program
# The time limit shortened to 8 s for this test (the program's own 60 s
# otherwise): a 6 s run stays under it, a run that never ends meets it.
export IPTAVIX_NETSH_TIME_LIMIT_MS=8000
start_program

runs() { if [ -f "$work/netsh-log.txt" ]; then wc -l <"$work/netsh-log.txt"; else echo 0; fi; }
wait_runs() {
  waiting_for "$1 netsh runs in the stand-in's log"
  for _ in $(seq "${2:-150}"); do [ "$(runs)" -ge "$1" ] && break; nap 0.2; done
}
wait_box() {
  waiting_for "a message box of the program"
  for _ in $(seq "${1:-100}"); do [ "$(box_count)" -ge 1 ] && break; nap 0.2; done
}
box_text() { probe text "QV IP Tavix Ver2" | tr -d '\r' | tr '\n' ' '; }
has() { grep -qF -- "$2" <<<"$1" && echo yes || echo "no: $1"; }
close_box() {
  for _ in $(seq 25); do
    [ "$(box_count)" -eq 0 ] && break
    probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
    nap 0.2
  done
  nap 0.3
}
# activate ROW: the set on that row, by mouse and Ctrl+A, pressed again when
# neither the wait window nor a box answered it (a key lost on its way).
activate() {
  for _ in 1 2 3; do
    tree_click "$1"
    nap 0.3
    keys_to '^IPTavix Ver2$' ctrl+a
    for _ in $(seq 20); do
      probe wait "[IP Tavix Ver2] Please wait..." 100 && return 0
      [ "$(box_count)" -ge 1 ] && return 0
    done
  done
}

# A failing run: its words under its step, in one box.
printf 'Das Element wurde nicht gefunden.\r\n\r\n' >"$work/netsh-print.txt"
echo "1 0" >"$work/netsh-exits.txt"
activate 0
wait_runs 2
wait_box
shot failure_box
text=$(box_text)
check "one box" 1 "$(box_count)"
check "the box names the failed step" yes "$(has "$text" "Setting the address: netsh ended with exit code 1.")"
check "the box shows what netsh printed" yes "$(has "$text" "Das Element wurde nicht gefunden.")"
check "only the system's netsh ran, never the one beside the program" "2 0" \
  "$(cut -d'|' -f5 "$work/netsh-log.txt" | grep -ciE 'windows\\(syswow64|system32)\\netsh.exe') \
$(cut -d'|' -f5 "$work/netsh-log.txt" | grep -ciF "$(basename "$work")")"
close_box
rm -f "$work/netsh-print.txt" "$work/netsh-exits.txt"

# Refused before anything runs.
before=$(runs)
activate 2
wait_box 25
check "0.0.0.0 is refused by name" yes "$(has "$(box_text)" "0.0.0.0")"
close_box
activate 3
wait_box 25
check "the broadcast address is refused" yes "$(has "$(box_text)" "broadcast address of its subnet 192.168.1.0/24")"
close_box
check "netsh never started for them" "$before" "$(runs)"

# Leading zeros mean the decimal number shown.
activate 1
wait_runs $((before + 2))
check "leading zeros reach netsh in decimal" \
  'netsh interface ip set address "LAN"  static 192.168.1.10 255.255.255.0 192.168.1.1 1' \
  "$(sed -n "$((before + 1))p" "$work/netsh-log.txt" | cut -d'|' -f4)"
wait_box 75 # under Wine no adapter is "LAN": the check says so
close_box

# A slow run: the main window keeps answering.
echo 6000 >"$work/netsh-delay.txt"
before=$(runs)
activate 0
wait_runs $((before + 1))
sleep 1
check "the main window answers within 1 s during a 6 s run" 0 "$(probe answers "IPTavix Ver2" 1000; echo $?)"
check "so does the wait window" 0 "$(probe answers "[IP Tavix Ver2] Please wait..." 1000; echo $?)"
shot slow_run
rm -f "$work/netsh-delay.txt"
wait_box 150
close_box

# A run that never ends is stopped at the apply's time limit (shortened to
# 8 s here, 60 s in use); the lines after it do not run (they would hang the
# same way), and the box comes within the limit and the check's time of
# Ctrl+A, the window answering throughout.
echo 3600000 >"$work/netsh-delay.txt"
before=$(runs)
activate 0
started=$SECONDS
wait_runs $((before + 1))
for _ in 1 2 3; do
  sleep 2
  check "the main window answers while netsh hangs" 0 "$(probe answers "IPTavix Ver2" 2000; echo $?)"
done
wait_box $(((20 - (SECONDS - started)) * 5)) # 0.2 s each: what is left of 20 s
check "the box is there within 20 s of Ctrl+A" 1 "$(box_count)"
rm -f "$work/netsh-delay.txt"
shot time_limit
text=$(box_text)
check "the stopped step is named" yes \
  "$(has "$text" "Setting the address: netsh had not finished when the apply's time limit of 8 seconds passed, and was stopped.")"
check "and the step that did not run" yes "$(has "$text" "Setting the DNS server: not run.")"
check "netsh ran once" $((before + 1)) "$(runs)"
close_box
check "no netsh left running" 0 "$(prefix_processes 'syswow64.netsh.exe|system32.netsh.exe' | wc -l)"
before=$(runs)
activate 0
wait_runs $((before + 2))
check "the program goes on working" $((before + 2)) "$(runs)"
wait_box 75
close_box

# An edit of a set another program deleted meanwhile.
tree_click 0
nap 0.3
keys_to '^IPTavix Ver2$' ctrl+e
check "the editor opens" 0 "$(probe wait "Edit existing IP Set" 10000; echo $?)"
sqlite3 "$db" "DELETE FROM IPSets WHERE IPSET_NAME = 'Fails'"
keys_to '^Edit existing IP Set$' ctrl+a
xdotool type --delay 30 "Renamed"
click_on "Edit existing IP Set" Ok
wait_box 25
shot vanished_set
check "the vanished set is told" yes "$(has "$(box_text)" "This IP set no longer exists in the database.")"
close_box
check "the editor closed" 1 "$(probe wait "Edit existing IP Set" 300; echo $?)"
check "nothing stored" "3|0" "$(sqlite3 "$db" "SELECT count(*), count(NULLIF(IPSET_NAME <> 'Renamed', 1)) FROM IPSets")"
check "the tree shows the file's three sets" "tree 3" "$(probe counts "IPTavix Ver2" | tr -d '\r' | cut -d' ' -f1-2)"

# A second start ends and leaves one main window.
"$WINE" "$work/IPTavixVer2.exe" &
second=$!
for _ in $(seq 50); do kill -0 "$second" 2>/dev/null || break; nap 0.1; done
ended=$(kill -0 "$second" 2>/dev/null && echo no || echo yes)
check "the second start ends within 5 s" yes "$ended"
[ "$ended" = yes ] || kill "$second" 2>/dev/null || true
set +e; wait "$second"; code=$?; set -e
check "the second start ends with exit code 0" 0 "$code"
check "one main window" 1 "$(xsearch --onlyvisible --name '^IPTavix Ver2$' | wc -l)"
stop_program
finish
