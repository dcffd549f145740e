# Shared by the commands: configuring and building one architecture, a Wine
# prefix inside build/, an Xvfb display and one persistent wineserver.
wine_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The tests' prefix; a command with a prefix of its own names it first.
export WINEPREFIX="${IPTAVIX_WINEPREFIX:-$wine_root/build/wineprefix}"
export WINEDEBUG=-all
# Neither .NET nor Gecko is needed, nor the menu entries winemenubuilder
# would make for every program the tests start.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE="$wine_root/scripts/wine-run"
source "$wine_root/scripts/window-manager.sh"
source "$wine_root/scripts/wine-arch.sh"

# The architecture the tests run: the shipped 32-bit build where this host can
# start 32-bit Linux processes (Wine's 32-bit loader needs that), otherwise
# the 64-bit build of the same sources. IPTAVIX_TEST_ARCH overrides.
test_arch() {
  if [ -n "${IPTAVIX_TEST_ARCH:-}" ]; then
    echo "$IPTAVIX_TEST_ARCH"
  elif host_runs_32bit; then
    echo i686
  else
    echo x86_64
  fi
}

# The architecture beside ARCH, whose build serves the other system folder.
other_arch() { [ "$1" = i686 ] && echo x86_64 || echo i686; }

start_wine_session() {
  if [ -z "${DISPLAY:-}" ] || [ "${IPTAVIX_OWN_DISPLAY:-1}" = 1 ]; then
    # IPTAVIX_DISPLAY lets two checkouts run their suites side by side.
    export DISPLAY="${IPTAVIX_DISPLAY:-:97}"
    start_xvfb
    xvfb_pid=$started_xvfb_pid
    # The tests need a window manager; the benchmark (IPTAVIX_WINDOW_MANAGER=0)
    # times the program without one's round trips.
    if [ "${IPTAVIX_WINDOW_MANAGER:-1}" = 1 ]; then
      start_window_manager
      session_wm_pid=$started_wm_pid
    fi
  fi
  wineserver -p >/dev/null 2>&1 || true
  # Start the prefix's background services here, with no pipe of a test as
  # their output: a service holding ctest's pipe would keep ctest waiting.
  "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
  if install_wine_fonts; then
    # Fonts are listed when the server starts: a fresh server sees them.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1 || true
    "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
  fi
}

# Wine's own fonts (MS Sans Serif, Tahoma, ...), which this Wine does not find
# in its data folder by itself: without them a request for "MS Sans Serif"
# gets a wider face and right-aligned labels lose their first letters.
# Copies the missing ones into the prefix; true when it copied any.
install_wine_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" copied=1 file
  [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] || return 1
  for file in /usr/share/wine/fonts/*; do
    [ -e "$fonts/$(basename "$file")" ] && continue
    cp "$file" "$fonts/" && copied=0
  done
  return $copied
}

# start_xvfb: an Xvfb on $DISPLAY unless one answers there; its pid, for the
# caller to end, in started_xvfb_pid (empty when one ran already).
start_xvfb() {
  started_xvfb_pid=""
  xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && return 0
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  started_xvfb_pid=$!
  for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
}

# More desktops for the suite: desktop N has a display (the first one's
# number plus 100 * (N - 1)) and a prefix (build/wineprefixN, a copy of the
# first) of its own, so ctest runs a window test on each at once. A test
# whose RESOURCE_LOCK is desktopN has IPTAVIX_DESKTOP=N, and wine-run and the
# end-to-end helpers then take that display and prefix; without it they take
# the first one. start_desktop N.
desktop_pids=()
start_desktop() {
  local n=$1 first_display=$DISPLAY first_prefix=$WINEPREFIX
  local display=":$((${DISPLAY#:} + 100 * (n - 1)))" prefix="$wine_root/build/wineprefix$n"
  export "IPTAVIX_DISPLAY$n=$display" "IPTAVIX_WINEPREFIX$n=$prefix"
  if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    cp -a "$first_prefix" "$prefix"
  fi
  export DISPLAY=$display WINEPREFIX=$prefix
  start_xvfb
  desktop_pids+=("$prefix" "$started_xvfb_pid")
  start_window_manager
  desktop_pids+=("$started_wm_pid")
  wineserver -p >/dev/null 2>&1 || true
  "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
  export DISPLAY=$first_display WINEPREFIX=$first_prefix
}
# start_desktops: the suite's desktops beside the session's: the second for
# window tests, the third for the in-process tests.
start_desktops() {
  start_desktop 2
  start_desktop 3
}

# keep_desktops PROBE: on each desktop of the session, a winprobe (PROBE) that
# waits there until the session ends. Wine starts its desktop process
# (explorer.exe) for the first program that needs it, which hands it its
# output, and ends it when the last has gone: without a keeper every test
# started it again (about a second), and a test that started it left it
# holding the test's output, so ctest waited for it until it ended or the
# test's time limit came.
keeper_fds=()
keep_desktops() {
  local desktop display prefix fd
  for desktop in "$DISPLAY $WINEPREFIX" "${IPTAVIX_DISPLAY2:-} ${IPTAVIX_WINEPREFIX2:-}" \
    "${IPTAVIX_DISPLAY3:-} ${IPTAVIX_WINEPREFIX3:-}"; do
    read -r display prefix <<<"$desktop"
    [ -n "$prefix" ] || continue
    rm -f "$prefix/.keeper" && mkfifo "$prefix/.keeper"
    DISPLAY=$display WINEPREFIX=$prefix "$WINE" "$1" serve <"$prefix/.keeper" >/dev/null 2>&1 &
    exec {fd}>"$prefix/.keeper"
    keeper_fds+=("$fd")
    printf 'keep\tdesktop\tany\n' >&"$fd"
  done
}

stop_wine_session() {
  local fd
  for fd in "${keeper_fds[@]}"; do exec {fd}>&-; done
  keeper_fds=()
  wineserver -k >/dev/null 2>&1 || true
  stop_window_manager "${session_wm_pid:-}"
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  local i
  for ((i = 0; i + 2 < ${#desktop_pids[@]}; i += 3)); do
    WINEPREFIX=${desktop_pids[i]} wineserver -k >/dev/null 2>&1 || true
    stop_window_manager "${desktop_pids[i + 2]}"
    [ -n "${desktop_pids[i + 1]}" ] && kill "${desktop_pids[i + 1]}" 2>/dev/null || true
  done
  desktop_pids=()
}

# build_arch ARCH [cmake options...] -- [targets...]: configures build/ARCH
# with its preset (CMakePresets.json: the MinGW-w64 toolchain for ARCH, i686
# or x86_64) and builds the targets (all when none are named).
build_arch() {
  local arch=$1; shift
  local options=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  (cd "$wine_root" && cmake --preset "$arch" "${options[@]}" >/dev/null)
  cmake --build "$wine_root/build/$arch" ${1:+--target "$@"}
}
