#!/usr/bin/env bash
# An apply from the window and an /activate from a scheduled task started
# while it runs: their netsh lines never interleave. The stand-in's log shows
# the window's set's lines, then the task's.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('Window'), ('Task');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('From the window', '10.0.0.5', '255.0.0.0', '', '', 0, 1),
         ('From the task', '10.0.0.6', '255.0.0.0', '', '', 0, 2);"
echo 2000 >"$work/netsh-delay.txt" # each run lasts 2 s
start_program
tree_pick 0
keys_to '^IPTavix Ver2$' ctrl+a
check "the window's first run started" 0 "$(wait_until 20 log_lines_at_least 1; echo $?)"
set +e
timeout 150 "$WINE" "$work/IPTavixVer2.exe" /activate "From the task" >"$work/task.txt" 2>&1
code=$?
set -e
# Under Wine no adapter is either connection: each apply ends told that its
# set could not be checked (exit code 1), after all its lines ran.
check "/activate waited and then ran, ending with the check's word" "1 yes" \
  "$code $(grep -q 'could not be checked' "$work/task.txt" && echo yes || echo no)"
check "one set's lines, then the other's" "Window Window Task Task" \
  "$(cut -d'|' -f4 "$work/netsh-log.txt" | sed 's/.*"\(.*\)".*/\1/' | paste -sd' ')"
check "the window's box" 0 "$(probe wait "QV IP Tavix Ver2" 30000; echo $?)"
probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true

# The other way round, and the user gives up: the task runs first, the
# window's Ctrl+A waits for it with the wait window up, and Alt+F4 pressed
# meanwhile closes the program only once its own apply has run.
: >"$work/netsh-log.txt"
timeout 150 "$WINE" "$work/IPTavixVer2.exe" /activate "From the task" >"$work/task.txt" 2>&1 &
task=$!
check "the task's first run started" 0 "$(wait_until 30 log_lines_at_least 1; echo $?)"
tree_pick 0
keys_to '^IPTavix Ver2$' ctrl+a
check "the wait window is up while the window's apply waits" 0 \
  "$(probe wait "[IP Tavix Ver2] Please wait..." 10000; echo $?)"
check "the window answers while it waits" 0 "$(probe answers "IPTavix Ver2" 2000; echo $?)"
keys_to '^IPTavix Ver2$' alt+F4
wait "$task" || true
check "the task's lines, then the window's" "Task Task Window Window" \
  "$(wait_until 30 log_lines_at_least 4 || true; cut -d'|' -f4 "$work/netsh-log.txt" | sed 's/.*"\(.*\)".*/\1/' | paste -sd' ')"
# Its check's box is answered; then the close pressed during the wait goes on.
probe wait "QV IP Tavix Ver2" 30000 >/dev/null && probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
set +e; timeout 30 tail --pid="$pid" -f /dev/null; wait "$pid"; code=$?; set -e
check "the program then ends, with exit code 0" 0 "$code"
pid=""
finish
