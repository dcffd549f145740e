# A window manager on the display ($DISPLAY): Wine waits up to 2 s for one to
# answer each time it hides a top-level window, so without one every closed
# window or dialog of a test costs 2 s; and Wine windows get keyboard input
# only when the manager gives them the focus. Sourced by wine-env.sh and the
# end-to-end tests.

# True when a manager serves this display (another display's does not count:
# several suites share the machine).
window_manager_running() {
  local id; id=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # //p')
  [ -n "$id" ] && xprop -id "$id" >/dev/null 2>&1
}
# Starts openbox when none runs, waiting (bounded) until it serves; its pid,
# for the caller to end, is in started_wm_pid (empty when one ran already).
start_window_manager() {
  started_wm_pid=""
  local attempt
  for attempt in 1 2 3; do
    window_manager_running && [ -z "$started_wm_pid" ] && return 0
    openbox --sm-disable </dev/null >/dev/null 2>&1 &
    started_wm_pid=$!
    for _ in $(seq 100); do
      kill -0 "$started_wm_pid" 2>/dev/null || break
      window_manager_running && return 0
      sleep 0.1
    done
    # It quit (a manager on its way out still held the display): again.
    started_wm_pid=""
    sleep 0.5
  done
}
# stop_window_manager PID: ends the manager started here and waits (bounded)
# until it is gone, so a session started next finds the display free.
stop_window_manager() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
}
