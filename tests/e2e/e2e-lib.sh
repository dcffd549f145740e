# Helpers of the end-to-end tests: a prepared program folder, a window
# manager on the test display (Wine windows get keyboard input only when they
# have the focus), and checks that name what failed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
WINE="$root/scripts/wine-run"
# A test on another of the suite's desktops (scripts/wine-env.sh) works there.
desktop_display="IPTAVIX_DISPLAY${IPTAVIX_DESKTOP:-1}" desktop_prefix="IPTAVIX_WINEPREFIX${IPTAVIX_DESKTOP:-1}"
if [ "${IPTAVIX_DESKTOP:-1}" != 1 ] && [ -n "${!desktop_display:-}" ]; then
  export DISPLAY=${!desktop_display} WINEPREFIX=${!desktop_prefix}
fi
bin="$1"    # the folder with the built programs
work="$2"   # this test's own folder
rm -rf "$work" && mkdir -p "$work"
cp "$bin"/{IPTavixVer2.exe,ipdbinit.exe,winprobe.exe,helpiptavix.html} "$work/"
db="$work/DataBase/ipdb.ipdb"
# The checks read the database while the program may be writing it: they wait
# for its lock as the program does, instead of failing on "database is locked".
sqlite3() { command sqlite3 -cmd ".timeout 5000" "$@"; }
failures=0
# The titles of the program's message boxes.
box_titles=("QV IP Tavix Ver2" "IP Tavix Ver2")
source "$root/scripts/window-manager.sh"
source "$root/scripts/wine-arch.sh"
# nap SECONDS: a pause that starts no process (a read that times out on a
# pipe nobody writes to), for the waits that look many times a second.
exec {nap_fd}<> <(:)
nap() { read -r -t "$1" -u "$nap_fd" _ || true; }

# Every wait names what it waits for, and the test has a budget of its own
# (IPTAVIX_E2E_BUDGET seconds, about twice its passing time, set by ctest):
# past it the test ends, failed, naming the wait it was in, instead of
# holding the run until ctest's time limit.
waiting_for() { printf '%s\n' "$*" >"$work/.waiting-for"; }
descendants() { # descendants PID: every process below PID, deepest first
  local child
  for child in $(pgrep -P "$1"); do
    descendants "$child"
    echo "$child"
  done
}
# prefix_processes PATTERN: the processes whose command line matches PATTERN
# and that run in this test's prefix, not another test's beside it.
prefix_processes() {
  local pid
  for pid in $(pgrep -f "$1" || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
  return 0
}
watchdog_pid=""
if [ "${IPTAVIX_E2E_BUDGET:-0}" -gt 0 ]; then
  (
    script=$$ budget=$IPTAVIX_E2E_BUDGET end=$((SECONDS + IPTAVIX_E2E_BUDGET))
    while [ "$SECONDS" -lt "$end" ]; do
      kill -0 "$script" 2>/dev/null || exit 0
      nap 0.5
    done
    echo "FAILED: the test ran past its budget of $budget s; it was waiting for: $(cat "$work/.waiting-for" 2>/dev/null || echo "nothing named")"
    # What the screen showed then, and what a box of the program said.
    import -window root "$work/budget_ended.png" 2>/dev/null && echo "screenshot: $work/budget_ended.png"
    for title in "${box_titles[@]}"; do
      text=$(timeout 10 "$WINE" "$work/winprobe.exe" text "$title" 2>/dev/null | tr -d '\r' | tr '\n' ' ') || true
      [ -z "$text" ] || echo "the box \"$title\" says: $text"
    done
    for proc in $(descendants "$script"); do
      [ "$proc" = "$BASHPID" ] || kill -TERM "$proc" 2>/dev/null || true
    done
    kill -TERM "$script" 2>/dev/null || true
  ) &
  watchdog_pid=$!
fi
end_watchdog() {
  [ -n "$watchdog_pid" ] || return 0
  pkill -P "$watchdog_pid" 2>/dev/null || true
  kill "$watchdog_pid" 2>/dev/null || true
  watchdog_pid=""
}

# probe VERB ARGS...: winprobe's answer and exit code. One winprobe serves a
# whole test (a Wine start costs more than most looks): it is started on the
# first look, in the Wine server and namespace of that moment, and again
# where it has gone. Answers are read up to the request's own end mark, so
# what a reader cut short (grep -q) left behind is skipped. One look at a time.
probe_pid="" probe_in="" probe_out=""
probe_serve() {
  [ -n "$probe_pid" ] && kill -0 "$probe_pid" 2>/dev/null && return 0
  probe_stop
  rm -f "$work/.probe-in" "$work/.probe-out"
  mkfifo "$work/.probe-in" "$work/.probe-out" || return 1
  "$WINE" "$work/winprobe.exe" serve <"$work/.probe-in" >"$work/.probe-out" 2>/dev/null &
  probe_pid=$!
  exec {probe_in}>"$work/.probe-in" {probe_out}<"$work/.probe-out"
}
probe_stop() {
  [ -n "$probe_in" ] && exec {probe_in}>&- {probe_out}<&-
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null || true
  probe_pid="" probe_in="" probe_out=""
}
probe() {
  case "$1" in wait | gone | foreground | answers) waiting_for "winprobe $*" ;; esac
  probe_serve || { "$WINE" "$work/winprobe.exe" "$@"; return; }
  local id="$BASHPID.$RANDOM" line answer="" mark
  (IFS=$'\t'; printf '%s\t%s\n' "$id" "$*") >&"$probe_in"
  while IFS= read -r line <&"$probe_out"; do
    if [[ $line == *$'\x1f'* ]]; then
      # The mark starts a line of its own, or ends an answer that had none.
      answer+=${line%%$'\x1f'*}
      mark=${line#*$'\x1f'}
      mark=${mark%$'\r'}
      if [ "${mark% *}" = "$id" ]; then
        printf '%s' "$answer"
        return "${mark##* }"
      fi
      answer=""
    else
      answer+="$line"$'\n'
    fi
  done
  return 1
}
check() { # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}
shot() { import -window root "$work/$1.png"; echo "screenshot: $work/$1.png"; }

# wait_until SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds;
# fails when SECONDS pass first.
wait_until() {
  local end=$((SECONDS + $1)); shift
  waiting_for "$*"
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$end" ] || return 1
    nap 0.1
  done
}
wm_pid=""
start_wm() {
  start_window_manager
  wm_pid=$started_wm_pid
}
finish() {
  end_watchdog
  restore_netsh
  # Waited for, so the next test never finds a window manager on its way out.
  if [ -n "$wm_pid" ]; then kill "$wm_pid" 2>/dev/null || true; wait "$wm_pid" 2>/dev/null || true; fi
  echo "$failures failed"
  [ "$failures" -eq 0 ]
}
# xdotool's search ends with an X error when a window goes away while it walks
# the tree (a dialog closing a moment before): such a search is asked again.
# xsearch ARGS...: the window ids xdotool finds.
xsearch() {
  local out line ids
  for _ in 1 2 3 4 5; do
    out=$(xdotool search "$@" 2>&1) || true
    if [[ $out != *"X Error"* ]]; then
      ids=""
      while IFS= read -r line; do [[ $line =~ ^[0-9]+$ ]] && ids+="$line"$'\n'; done <<<"$out"
      printf '%s' "$ids"
      return 0
    fi
    nap 0.2
  done
  return 1
}
# window_id TITLE: the first shown window whose title matches, waiting up to
# 30 s in all (a search ended by an X error is asked again within that).
window_id() {
  local wid="" end=$((SECONDS + 30))
  waiting_for "a shown window titled $1"
  while [ "$SECONDS" -lt "$end" ]; do
    wid=$(timeout $((end - SECONDS)) xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1) || true
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    nap 0.2
  done
  return 1
}
# focus_window TITLE: activates the window and waits (bounded) until the
# window manager reports it active, so keys sent next reach it.
focus_window() {
  local wid; wid=$(window_id "$1")
  for _ in $(seq 50); do
    xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || xdotool windowfocus --sync "$wid" >/dev/null 2>&1 || true
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$wid" ] && break
    nap 0.1
  done
  # Keys reach the window once Wine, too, has made it the foreground one.
  local title=${1#^}; title=${title%\$}
  probe foreground "$title" 5000 || true
}
keys_to() { # keys_to TITLE KEY...
  focus_window "$1"; shift
  xdotool key --clearmodifiers "$@"
}
# click_on TITLE TEXT: the real mouse on the control captioned TEXT.
click_on() {
  local x y
  read -r x y < <(probe point "$1" "$2" | tr -d '\r')
  xdotool mousemove "$x" "$y" click 1
}
# click_part TITLE N K: the real mouse into part K of address control N.
click_part() {
  local x y
  read -r x y < <(probe part "$1" "$2" "$3" | tr -d '\r')
  xdotool mousemove "$x" "$y" click 1
}
# tree_click N [BUTTON]: the real mouse on the N-th visible row of the tree.
tree_click() {
  local x y
  read -r x y < <(probe treeitem "IPTavix Ver2" "$1" | tr -d '\r')
  xdotool mousemove "$x" "$y" click "${2:-1}"
}
# tree_pick N: a left click on the N-th visible row, waiting (bounded) until
# the tree has selected it.
tree_pick() {
  tree_click "$1"
  wait_until 10 tree_selected "$1" || true
}
tree_selected() { [ "$(probe selected "IPTavix Ver2" | tr -d '\r')" = "$1" ]; }
# gone TITLE: 0 once no window TITLE is shown (waits up to 10 s), else 1.
gone() { probe gone "$1" 10000; }
# sql_is SQL EXPECTED: true when the database answers SQL with EXPECTED.
sql_is() { [ "$(sqlite3 "$db" "$1" 2>/dev/null)" = "$2" ]; }
# log_lines_at_least N: true when the netsh stand-in has logged N runs.
log_lines_at_least() { [ "$(wc -l <"$work/netsh-log.txt" 2>/dev/null || echo 0)" -ge "$1" ]; }
# dialog_ready TITLE: waits (bounded) until TITLE is the foreground window
# with a control holding the focus, so what is typed next reaches it.
dialog_ready() { probe foreground "$1" 10000 && wait_until 10 probe focus "$1"; }
# focus_is TITLE CLASS|TEXT: true when that control has the focus in TITLE.
focus_is() { [ "$(probe focus "$1" | tr -d '\r')" = "$2" ]; }
# tree_shows PREFIX: true when winprobe's counts start with PREFIX ("tree 2").
tree_shows() { [[ "$(probe counts "IPTavix Ver2" | tr -d '\r')" == "$1"* ]]; }
# run ARGS...: the program from the command line: its output (CR removed),
# then its exit code on a line of its own; last OUTPUT: that exit code.
run() { # run ARGS...: the program's output (CR removed), then its exit code
  set +e
  out=$(timeout 60 "$WINE" "$work/IPTavixVer2.exe" "$@" 2>/dev/null | tr -d '\r')
  code=${PIPESTATUS[0]}
  set -e
  printf '%s\n%s' "$out" "$code"
}
last() { tail -n1 <<<"$1"; }
# box_count: how many of the program's message boxes are on screen.
box_count() { xsearch --onlyvisible --name '^(QV )?IP Tavix Ver2$' | wc -l; }
# no_box DESCRIPTION: checks that none of them is on screen; a failure quotes
# the box that is.
no_box() { check "$1" "no box" "$(shown_boxes)"; }
shown_boxes() {
  [ "$(box_count)" = 0 ] && { echo "no box"; return; }
  local title
  for title in "${box_titles[@]}"; do
    probe text "$title" 2>/dev/null | tr -d '\r' | tr '\n' ' ' || true
  done
}
# Also when a step fails on the way: the system's netsh is put back, and no
# program of this test outlives it (ctest would wait for the output it holds).
pid=""
on_exit() {
  report_early_end $?
  end_watchdog
  probe_stop
  restore_netsh
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  pkill -f "$work/IPTavixVer2.exe" 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
}
trap on_exit EXIT
# The budget's end fails the test like any failed check (the watchdog has
# said so).
ended_by_budget=0
trap 'ended_by_budget=1; exit 1' TERM
# report_early_end CODE: where a step failed outside every check (set -e), the
# test says so and names the wait it was in, instead of ending without a word.
report_early_end() {
  [ "$1" != 0 ] && [ "$1" != 77 ] && [ "$failures" = 0 ] && [ "$ended_by_budget" = 0 ] || return 0
  echo "FAILED: the test ended early (exit code $1); it was waiting for: $(cat "$work/.waiting-for" 2>/dev/null || echo "nothing named")"
  shot ended_early 2>/dev/null || true
}
# start_program [WRAPPER...]: the program, started through WRAPPER if given.
start_program() {
  "$@" "$WINE" "$work/IPTavixVer2.exe" &
  pid=$!
  local shown; shown=$(probe wait "IPTavix Ver2" 30000; echo $?)
  check "main window appears" 0 "$shown"
  # Nothing after this can pass without the window: the test ends here.
  if [ "$shown" != 0 ] || ! window_id '^IPTavix Ver2$' >/dev/null; then
    echo "FAILED: waited 30 s for the main window; nothing after it can pass"
    failures=$((failures + 1))
    exit 1
  fi
}
stop_program() {
  probe close "IPTavix Ver2" || true
  set +e; wait "$pid"; code=$?; set -e
  check "program ends with exit code 0" 0 "$code"
}
# prepare_database [SQL]: a window manager and a fresh database holding what
# SQL inserts.
prepare_database() {
  start_wm
  "$WINE" "$work/ipdbinit.exe" >/dev/null
  [ -z "${1:-}" ] || sqlite3 "$db" "$1"
}
# prepare_sets SQL: the same, with the netsh stand-in as the system's netsh.
prepare_sets() {
  install_standin
  prepare_database "$1"
}
# install_standin: the stand-in as netsh.exe in the prefix's system folder the
# program starts it from (syswow64 for a 32-bit program in a 64-bit prefix),
# loaded instead of Wine's own, its files in this test's folder, until finish.
standin_target=""
install_standin() {
  local prefix="${WINEPREFIX:-$root/build/wineprefix}" folder=system32
  local windows="$prefix/drive_c/windows"
  [ "$(prefix_arch "$prefix")" = win64 ] && [ "$(pe_arch "$work/IPTavixVer2.exe")" = i686 ] && folder=syswow64
  standin_target="$windows/$folder/netsh.exe"
  [ -f "$standin_target.wine" ] || cp "$standin_target" "$standin_target.wine"
  cp "$bin/tests/test_activation/netsh-standin.exe" "$standin_target"
  "$WINE" reg add 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /d native /f >/dev/null 2>&1
  export IPTAVIX_STANDIN_DIR="Z:$work/"
}
restore_netsh() {
  [ -n "$standin_target" ] || return 0
  [ -f "$standin_target.wine" ] && mv "$standin_target.wine" "$standin_target"
  "$WINE" reg delete 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /f >/dev/null 2>&1 || true
  standin_target=""
}
