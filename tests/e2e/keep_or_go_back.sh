#!/usr/bin/env bash
# Whether the gateway answers after an apply, and sets that go back unless
# kept (the window's question, /activate ... /confirm and /keep), applied for
# real through the netsh bridge in namespaces of their own (netns-lib.sh):
# the helper namespace holds 10.77.0.1, so that gateway answers and
# 10.77.0.99 does not.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"

source "$here/netns-lib.sh"
if [ -z "${IPTAVIX_NETNS_CASE:-}" ]; then
  # shellcheck disable=SC2086 # the cases are words
  run_netns_cases "$0" "$1" "$2" ${IPTAVIX_NETNS_CASES:-gateway cli_confirm window_keep}
  exit
fi

netns_case "$@"

prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('ipt0');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION, CONFIRM)
  VALUES ('Answers', '10.77.0.10', '255.255.255.0', '10.77.0.1', '10.77.0.53', 0, 1, 1),
         ('Silent', '10.77.0.11', '255.255.255.0', '10.77.0.99', '10.77.0.53', 0, 1, 0);"
host_state() {
  ip -4 -o addr show dev ipt0 | awk '{print $4}'
  ip -4 route show default | sed 's/ *$//; s/ metric 1$//'
  grep nameserver /etc/resolv.conf
}
before=$(host_state)
answers_state="$(printf '10.77.0.10/24\ndefault via 10.77.0.1 dev ipt0\nnameserver 10.77.0.53')"
silent_state="$(printf '10.77.0.11/24\ndefault via 10.77.0.99 dev ipt0\nnameserver 10.77.0.53')"
activate() { # activate ROW: the set in the tree's row ROW applied with Ctrl+A
  tree_click "$1"
  nap 0.3
  keys_to '^IPTavix Ver2$' ctrl+a
}
box_text() { probe text "QV IP Tavix Ver2" | tr -d '\r'; }
keep_shown() { probe wait "Keep these network settings?" "$1" >/dev/null; }
# keys_to_question KEY...: keys_to for the question, whose title holds a "?"
# (a regular expression's character to xdotool, a plain one to winprobe).
keys_to_question() {
  local wid; wid=$(window_id '^Keep these network settings')
  xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
  probe foreground "Keep these network settings?" 5000 || true
  xdotool key --clearmodifiers "$@"
}

case $case in
gateway)
  # Silent first: the set the user is asked about has no question to keep.
  sqlite3 "$db" "UPDATE IPSets SET CONFIRM = 0"
  start_program
  activate 1
  wait_apply
  wait_until 10 probe wait "QV IP Tavix Ver2" 100 || true
  check "a gateway that does not answer: the host has the set" "$silent_state" "$(host_state)"
  check "and the user is warned" yes "$(box_text | grep -qF 'The IP set "Silent" is in effect on "ipt0", but its gateway 10.77.0.99 does not answer.' && echo yes || echo "no: $(box_text)")"
  shot gateway_silent
  probe click "QV IP Tavix Ver2" OK >/dev/null || true
  check "one box, closed with OK" 0 "$(gone "QV IP Tavix Ver2"; echo $?)"
  activate 0
  wait_apply
  check "a gateway that answers: the host has the set" "$answers_state" "$(host_state)"
  status=$(probe status "IPTavix Ver2" | tr -d '\r')
  check "the status bar says so" yes "$([[ "$status" =~ (^|\.\ )Gateway\ 10\.77\.0\.1\ answers\ \((\<1|[0-9]+)\ ms\)$ ]] && echo yes || echo "no: $status")"
  no_box "no box"
  stop_program
  # The command line prints either and ends with 0 both times.
  result=$(run /activate silent)
  echo "$result"
  check "/activate of the silent one ends with 0" 0 "$(last "$result")"
  check "and prints the warning" yes "$(grep -qF 'its gateway 10.77.0.99 does not answer.' <<<"$result" && echo yes || echo no)"
  result=$(run /activate answers)
  echo "$result"
  check "/activate of the answering one ends with 0" 0 "$(last "$result")"
  check "and prints the answer" yes "$(grep -qE '^Gateway 10\.77\.0\.1 answers' <<<"$result" && echo yes || echo no)"
  ;;
cli_confirm)
  # Kept: /keep while the run waits; both end with 0.
  set +e
  timeout 90 "$WINE" "$work/IPTavixVer2.exe" /activate answers /confirm 20 >"$work/confirm.out" 2>/dev/null &
  waiting=$!
  set -e
  wait_until 60 grep -q 'Waiting 20 seconds' "$work/confirm.out" || true
  check "the set is applied while the run waits" "$answers_state" "$(host_state)"
  result=$(run /keep)
  check "/keep ends with 0" 0 "$(last "$result")"
  set +e; wait "$waiting"; code=$?; set -e
  cat "$work/confirm.out"
  check "/activate ... /confirm 20 followed by /keep ends with 0" 0 "$code"
  check "and the set stays" "$answers_state" "$(host_state)"
  check "/keep with nobody waiting ends with 1" 1 "$(last "$(run /keep)")"
  # Not kept: after 3 s the configuration before comes back, exit code 1.
  result=$(run /activate silent /confirm 3)
  echo "$result"
  check "without /keep it ends with 1" 1 "$(last "$result")"
  check "and says it went back" yes "$(grep -qF 'Nobody kept the IP set "Silent" within 3 seconds: "ipt0" has its previous settings again.' <<<"$result" && echo yes || echo no)"
  check "the interface is as before it" "$answers_state" "$(host_state)"
  no_box "no message box"
  ;;
window_keep)
  # The 30 s shortened to 6 s for the test; the dialog counts down what it waits.
  export IPTAVIX_KEEP_SECONDS=6
  start_program
  activate 0
  check "the question appears" 0 "$(keep_shown 60000; echo $?)"
  check "the set is in effect meanwhile" "$answers_state" "$(host_state)"
  texts=$(probe text "Keep these network settings?" | tr -d '\r')
  check "it counts down the real seconds" yes "$(grep -qE '^Going back to the previous settings in [1-6] seconds?\.$' <<<"$texts" && echo yes || echo "no: $texts")"
  status=$(probe status "IPTavix Ver2" | tr -d '\r')
  check "the status bar tells that the gateway answers" yes "$([[ "$status" =~ (^|\.\ )Gateway\ 10\.77\.0\.1\ answers ]] && echo yes || echo "no: $status")"
  shot keep_dialog
  # Nobody answers: the configuration before comes back, told in a box.
  check "the question goes when the time runs out" 0 "$(probe gone "Keep these network settings?" 15000; echo $?)"
  wait_apply
  check "a box tells it on the user's return" yes "$(box_text | grep -qF 'Nobody kept the IP set "Answers" within 6 seconds: "ipt0" has its previous settings again.' && echo yes || echo "no: $(box_text)")"
  check "the interface is as before" "$before" "$(host_state)"
  click_on "QV IP Tavix Ver2" OK
  check "OK closes the box" 0 "$(gone "QV IP Tavix Ver2"; echo $?)"
  # Alt+F4 on the question goes back at once, told in the status bar.
  activate 0
  check "the question appears once more" 0 "$(keep_shown 60000; echo $?)"
  keys_to_question alt+F4
  check "Alt+F4 closes it" 0 "$(probe gone "Keep these network settings?" 5000; echo $?)"
  wait_apply
  check "and goes back at once" "$before" "$(host_state)"
  check "saying so in the status bar, after the connections" 'The IP set "Answers" was not kept: "ipt0" has its previous settings again.' "$(probe status "IPTavix Ver2" | tr -d '\r' | sed 's/^.*\. The IP set/The IP set/')"
  no_box "without a box"
  # Keep keeps it.
  activate 0
  check "the question appears again" 0 "$(keep_shown 60000; echo $?)"
  probe click "Keep these network settings?" Keep
  check "Keep closes it" 0 "$(probe gone "Keep these network settings?" 5000; echo $?)"
  check "no apply follows Keep" 1 "$(probe wait "[IP Tavix Ver2] Please wait..." 3000; echo $?)"
  check "the set is kept" "$answers_state" "$(host_state)"
  check "and the status bar says so, after the connections" 'The IP set "Answers" is kept on "ipt0"' "$(probe status "IPTavix Ver2" | tr -d '\r' | sed 's/^.*\. The IP set/The IP set/')"
  no_box "no box"
  stop_program
  ;;
esac
finish
