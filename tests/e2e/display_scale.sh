#!/usr/bin/env bash
# The real program at 100, 125, 150 and 200 % display scale (Wine's LogPixels,
# in a prefix of this test's own, so the other tests keep 96 DPI): the main
# window, the editor and the About box are their 96-DPI size times the scale
# (within 5 %), every label, button and check box is as wide as its text, and
# the menus' items grow with the scale. One program start per scale; the
# screenshots of each are left in the test's folder.
source "$(dirname "$0")/e2e-lib.sh"

# A prefix beside the shared one: linked file by file (fast), with registry
# files of its own, since this test changes them.
shared="${WINEPREFIX:-$root/build/wineprefix}"
export WINEPREFIX="$root/build/wineprefix-dpi"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  rm -rf "$WINEPREFIX"
  cp -al "$shared" "$WINEPREFIX"
  for reg in system.reg user.reg userdef.reg; do
    cp --remove-destination "$shared/$reg" "$WINEPREFIX/$reg"
  done
fi
stop_dpi_server() { wineserver -k >/dev/null 2>&1 || true; }
trap 'on_exit; stop_dpi_server' EXIT

set_dpi() {
  # Wine reads both; Windows keeps the user's scale under the first. One
  # import, one Wine process.
  local dword; dword=$(printf 'dword:%08x' "$1")
  printf '%s\n' REGEDIT4 '' '[HKEY_CURRENT_USER\Control Panel\Desktop]' "\"LogPixels\"=$dword" '' \
    '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]' \
    "\"LogPixels\"=$dword" >"$work/dpi.reg"
  "$WINE" regedit /s "Z:$(realpath "$work/dpi.reg" | tr / '\\')"
}

# within_5_percent ACTUAL EXPECTED: 0 when ACTUAL is within 5 % of EXPECTED.
within_5_percent() { [ $(( ($1 - $2) * 100 )) -le $(( $2 * 5 )) ] && [ $(( ($2 - $1) * 100 )) -le $(( $2 * 5 )) ]; }

# check_window NAME TITLE DPI: its size against the 96-DPI one, its texts
# against their controls, and a screenshot.
read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
declare -A base_size
check_window() {
  local name=$1 title=$2 dpi=$3 out fit w h
  out=$(probe fits "$title" "$dpi" | tr -d '\r') && fit=0 || fit=1
  read -r w h _ <<<"$(head -n1 <<<"$out")"
  if [ "$dpi" = 96 ]; then
    base_size[$name]="$w $h"
  else
    # No larger than the screen (1280 x 1024 here), which a window at 200 %
    # may outgrow.
    local bw bh ew eh; read -r bw bh <<<"${base_size[$name]}"
    ew=$((bw * dpi / 96)); eh=$((bh * dpi / 96))
    [ "$ew" -le "$screen_w" ] || ew=$screen_w
    [ "$eh" -le "$screen_h" ] || eh=$screen_h
    check "$name at $dpi DPI: width $w within 5 % of $ew" 0 "$(within_5_percent "$w" "$ew"; echo $?)"
    check "$name at $dpi DPI: height $h within 5 % of $eh" 0 "$(within_5_percent "$h" "$eh"; echo $?)"
  fi
  check "$name at $dpi DPI: every text fits its control" 0 "$fit"
  [ "$fit" = 0 ] || tail -n +2 <<<"$out" | sed 's/^/  text|needed|width: /'
  shot "${name}_$dpi"
}

prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Office', '10.0.0.5', '255.255.255.0', '10.0.0.1', '10.0.0.1', 0, 1);"

declare -A menu_height
for dpi in 96 120 144 192; do
  set_dpi "$dpi"
  start_program
  check_window main 'IPTavix Ver2' "$dpi"

  # The IP Sets menu: F10 selects the bar, Right Right moves to its third
  # menu, Down opens it.
  keys_to '^IPTavix Ver2$' F10 Right Right Down
  check "menu opens at $dpi DPI" 0 "$(probe menu any 10000; echo $?)"
  menu_height[$dpi]=$(probe menuheight any | tr -d '\r')
  shot "menu_$dpi"
  xdotool key Escape Escape
  probe nomenu any 5000 || true

  keys_to '^IPTavix Ver2$' Insert
  check "editor opens at $dpi DPI" 0 "$(probe wait "Add new IP Set" 10000; echo $?)"
  check_window editor 'Add new IP Set' "$dpi"
  probe click "Add new IP Set" Cancel
  gone "Add new IP Set" || true

  # Help is the fifth menu (after Options), About... its second item.
  keys_to '^IPTavix Ver2$' F10 Right Right Right Right Down Down Return
  check "About box opens at $dpi DPI" 0 "$(probe wait "Brindlework - About..." 10000; echo $?)"
  check_window about 'Brindlework - About...' "$dpi"
  probe click "Brindlework - About..." Ok
  gone "Brindlework - About..." || true
  stop_program
done

# Its items and separators all scale, its border does not: the menu's height
# stands for its items'.
echo "IP Sets menu heights: 96 ${menu_height[96]}, 120 ${menu_height[120]}, 144 ${menu_height[144]}, 192 ${menu_height[192]}"
check "the menu's items at 144 DPI are at least 1.4 x their height at 96 DPI" 0 \
  "$([ $(( ${menu_height[144]:-0} * 10 )) -ge $(( ${menu_height[96]:-1} * 14 )) ]; echo $?)"
set_dpi 96
finish
