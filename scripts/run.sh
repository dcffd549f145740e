#!/usr/bin/env bash
# Builds the program and starts it under Wine in a prepared folder
# (build/run): DataBase\ipdb.ipdb is created with ipdbinit when absent, and
# Wine's registry gets the connection names Windows would hold. With a display
# (DISPLAY set) the program opens there; without one it runs under Xvfb, a
# screenshot is saved and its path printed, and the program is closed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
user_display="${DISPLAY:-}"
# A prefix of its own: the netsh bridge goes in here, never into the tests'.
export IPTAVIX_WINEPREFIX="$root/build/run-prefix"
source "$root/scripts/wine-env.sh"
arch=$(test_arch)
build_arch "$arch" -- IPTavixVer2 ipdbinit ipcheck winprobe netsh_bridge
# The other architecture's bridge serves the prefix's other system folder.
build_arch "$(other_arch "$arch")" -DIPTAVIX_TESTS=OFF -- netsh_bridge >/dev/null || true
run="$root/build/run"
mkdir -p "$run"
cp "$root"/build/$arch/bin/{IPTavixVer2.exe,ipdbinit.exe,ipcheck.exe,winprobe.exe,helpiptavix.html} "$run/"
if [ -n "$user_display" ]; then
  IPTAVIX_OWN_DISPLAY=0 DISPLAY="$user_display" start_wine_session
else
  start_wine_session
fi
trap stop_wine_session EXIT
# Activation applies sets to the host through the bridge.
"$root/scripts/wine-netsh.sh" install
[ -f "$run/DataBase/ipdb.ipdb" ] || "$WINE" "$run/ipdbinit.exe"
"$WINE" "$run/ipcheck.exe" --register-names >/dev/null
if [ -n "$user_display" ]; then
  "$WINE" "$run/IPTavixVer2.exe"
  exit $?
fi
"$WINE" "$run/IPTavixVer2.exe" &
pid=$!
if "$WINE" "$run/winprobe.exe" wait "IPTavix Ver2" 30000; then
  sleep 1
  import -window root "$run/screenshot.png"
  echo "Screenshot of the running program: $run/screenshot.png"
  "$WINE" "$run/winprobe.exe" close "IPTavix Ver2"
fi
wait "$pid"
