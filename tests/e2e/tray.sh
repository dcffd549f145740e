#!/usr/bin/env bash
# The program started with /tray beside a real notification area (trayer):
# no main window, one docked icon; its menu (screenshot) lists the sets, the
# one the adapter shows checked; choosing another runs its netsh lines and
# the box says it is not in effect; choosing the one in effect ends with the
# balloon (screenshot); a second start shows the hidden window; the menu's
# Exit ends the program with 0.
source "$(dirname "$0")/e2e-lib.sh"
# The host's interface of the default route, as Wine reports it, named "LAN"
# in the registry as Windows would name it; the set "Here" is what it shows.
iface=$(ip -4 route show default | awk '{print $5; exit}')
address=$(ip -4 -o addr show dev "${iface:-none}" 2>/dev/null | awk '{print $4; exit}')
if [ -z "$address" ]; then echo "skipped: no IPv4 default route on this host"; exit 77; fi
gateway=$(ip -4 route show default dev "$iface" | awk '{print $3; exit}')
mask=$(python3 -c "import ipaddress,sys; print(ipaddress.ip_interface(sys.argv[1]).netmask)" "$address")
key="HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\$(printf '{%08X-0000-0000-0000-4E6574446576}' "$(cat "/sys/class/net/$iface/ifindex")")"
"$WINE" reg add "$key\\Connection" /v Name /d LAN /f >/dev/null 2>&1
remove_name() { "$WINE" reg delete "$key" /f >/dev/null 2>&1 || true; }
tray_pid=""
trap 'remove_name; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; on_exit' EXIT
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Here', '${address%/*}', '$mask', '$gateway', '', 0, 1),
         ('Office', '10.1.2.3', '255.255.0.0', '10.1.0.1', '', 0, 1);"

if ! command -v trayer >/dev/null; then echo "skipped: no trayer on this host"; exit 77; fi
# The area has its final size before the icon docks. Wine 8 makes windows of
# its own for trayer's panel and frame when it docks the icon, and follows
# them through their ConfigureNotify events; after a resize the window
# manager sends the panel a synthetic one too, which Wine ignores for such
# windows and, when both wait in its queue at once, keeps in place of the
# real one. Wine's panel then stays as narrow as before the icon came: the
# icon is clipped away (nothing drawn) and its clicks go to the frame. An
# area that grows with its icons (--widthtype request) loses that race most
# of the time.
trayer --edge top --align right --widthtype pixel --width 40 --height 32 --SetDockType true \
  --transparent false --tint 0xd0d0d0 --expand true >/dev/null 2>&1 &
tray_pid=$!
# The area: trayer's window on the screen; an icon: a window docked in it
# (its own 1x1 helper window aside).
panel=""
panel_up() {
  local w
  for w in $(xdotool search --class trayer 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -q IsViewable && { panel=$w; return 0; }
  done
  return 1
}
up=0; wait_until 10 panel_up || up=1
check "the notification area is up" 0 "$up"
[ "$up" = 0 ] || exit 1
# Wine's explorer chooses where icons go when it starts: one started before
# the area (by an earlier test of this desktop) keeps them in a window of its
# own. The prefix's services are started again, now that the area is up.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1 || true
"$WINE" wineboot </dev/null >/dev/null 2>&1 || true
icon_windows() { xwininfo -children -id "$panel" 2>/dev/null | awk '/^ +0x/ && $0 !~ / 1x1\+/ {print $1}'; }
docked() { [ "$(icon_windows | wc -l)" = "${1:-1}" ]; }

"$WINE" "$work/IPTavixVer2.exe" /tray &
pid=$!
check "one icon docks" 0 "$(wait_until 20 docked 1; echo $?)"
check "no main window" "" "$(xsearch --onlyvisible --name '^IPTavix Ver2$')"
icon=$(icon_windows | head -n1)
geometry=$(xwininfo -id "$icon")
at() { awk -F: "/$1/ {gsub(/ /, \"\", \$2); print \$2}" <<<"$geometry"; }
cx=$(($(at 'Absolute upper-left X') + $(at 'Width') / 2))
cy=$(($(at 'Absolute upper-left Y') + $(at 'Height') / 2))
# Drawn: more colours in the icon's window than the area's one.
drawn() {
  local box
  box="$(at 'Width')x$(at 'Height')+$(at 'Absolute upper-left X')+$(at 'Absolute upper-left Y')"
  [ "$(import -window root -crop "$box" -format %k info: 2>/dev/null)" -gt 1 ]
}

# Opens the icon's menu with a right click. The keyboard's ways to it
# (Shift+F10, the menu key, Enter on the focused icon) cannot be tried here:
# Wine's docked icon takes no keyboard focus and passes on mouse messages
# alone; test_tray sends the shell's reports for them instead.
menu="" menu_id=""
open_menu() {
  local w g try
  menu="" menu_id=""
  # A click in the moment the icon docks can be lost: clicked again.
  for try in 1 2 3; do
    xdotool mousemove "$cx" "$cy" click 3
    probe menu any 4000 && break
    [ "$try" -lt 3 ] || return 1
  done
  for w in $(xsearch --onlyvisible --classname iptavixver2.exe); do
    g=$(xwininfo -id "$w")
    [ "$(awk -F: '/Absolute upper-left Y/ {print $2+0}' <<<"$g")" -le $((cy + 40)) ] && { menu=$g; menu_id=$w; return 0; }
  done
  return 1
}
# menu_keys KEY...: keys to the open menu. Windows gives the keyboard to the
# menu of the foreground thread. Under X keys go to the focused window: with
# the program's window shown that is the window, and Wine passes them on to
# the menu; with it hidden the focus stays where it was (the menu's window is
# override-redirect and never takes it), so it is handed to the menu first.
menu_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$menu_id" ]; }
menu_keys() {
  [ -n "$menu_id" ] || return 0
  if ! xsearch --onlyvisible --classname iptavixver2.exe | grep -qx "$(xdotool getwindowfocus 2>/dev/null)"; then
    xdotool windowfocus "$menu_id" 2>/dev/null || true
    wait_until 5 menu_focused || true
  fi
  xdotool key "$@"
}
menu_gone() { ! xwininfo -id "$menu_id" 2>/dev/null | grep -q IsViewable; }
# choose FRACTION: clicks the item at that fraction (percent) of the menu's height.
choose() {
  local x y h
  [ -n "$menu" ] || return 0
  x=$(awk -F: '/Absolute upper-left X/ {print $2+0}' <<<"$menu")
  y=$(awk -F: '/Absolute upper-left Y/ {print $2+0}' <<<"$menu")
  h=$(awk -F: '/Height/ {print $2+0}' <<<"$menu")
  xdotool mousemove $((x + 40)) $((y + h * $1 / 100))
  nap 0.2 # the item under the pointer is highlighted on the next motion
  xdotool mousemove $((x + 41)) $((y + h * $1 / 100)) click 1
}
# Here (checked), Office, -, Undo Last Activation, -, Open IP Tavix Ver2, Exit.
here=8 office=26
check "the icon is drawn" 0 "$(wait_until 10 drawn; echo $?)"
opened=0; open_menu || opened=1
check "right click opens the menu" 0 "$opened"
if [ "$opened" != 0 ]; then shot tray_no_menu; exit 1; fi
nap 0.3 # the menu is there; its owner-drawn items are painted just after
shot tray_menu
choose $office
wait_until 20 log_lines_at_least 1 || true
check "choosing Office runs its netsh line" \
  'netsh interface ip set address "LAN"  static 10.1.2.3 255.255.0.0 10.1.0.1 1' \
  "$(sed -n 1p "$work/netsh-log.txt" | cut -d'|' -f4 | tr -d '\r')"
# The stand-in changes nothing: after the check's 10 s the box says so.
box_up() { [ "$(box_count)" -ge 1 ]; }
check "the box says Office is not in effect" 0 "$(wait_until 30 box_up; echo $?)"
shot tray_not_in_effect
xdotool key Return
box_gone() { [ "$(box_count)" -eq 0 ]; }
wait_until 10 box_gone || true

: >"$work/netsh-log.txt"
open_menu >/dev/null || true
choose $here
wait_until 20 log_lines_at_least 1 || true
check "choosing Here runs its netsh line" \
  "netsh interface ip set address \"LAN\"  static ${address%/*} $mask $gateway 1" \
  "$(sed -n 1p "$work/netsh-log.txt" | cut -d'|' -f4 | tr -d '\r')"
check "the balloon appears" 0 "$(probe class tooltips_class32 15000; echo $?)"
shot tray_balloon

# Escape closes the menu; nothing is applied (looked at after the next step).
: >"$work/netsh-log.txt"
open_menu >/dev/null || true
menu_keys Escape
check "Escape closes the menu" 0 "$(wait_until 5 menu_gone; echo $?)"

# A second start shows the first one's window.
"$WINE" "$work/IPTavixVer2.exe" >/dev/null 2>&1 || true
check "a second start shows the hidden window" 0 "$(probe wait "IPTavix Ver2" 10000; echo $?)"
check "the closed menu applied nothing" 0 "$(wc -l <"$work/netsh-log.txt")"

# Up from no item is the last one, Exit.
open_menu >/dev/null || true
menu_keys Up Return
set +e; timeout 20 tail --pid="$pid" -f /dev/null; wait "$pid"; code=$?; set -e
check "Exit ends the program with exit code 0" 0 "$code"
check "the icon is gone" 0 "$(wait_until 10 docked 0; echo $?)"
finish
