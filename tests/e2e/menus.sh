#!/usr/bin/env bash
# The real program under Xvfb with its owner-drawn menus open: File, IP Sets
# with an item highlighted, and the tree's pop-up menu. Screenshots only show;
# the checks are that the menus open and close and the program stays sound.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, DHCP, CONNECTION) VALUES ('Home', 1, 1);"
"$WINE" "$work/IPTavixVer2.exe" &
pid=$!
check "main window appears" 0 "$(probe wait "IPTavix Ver2" 30000; echo $?)"
window_id '^IPTavix Ver2$' >/dev/null
keys_to '^IPTavix Ver2$' F10 Down
probe menu any 10000 || true
nap 0.3 # the menu is there; its owner-drawn items are painted just after
shot file_menu
xdotool key Escape Escape
probe nomenu any 10000 || true
keys_to '^IPTavix Ver2$' F10 Right Right Down Down Down
probe menu any 10000 || true
nap 0.3 # as above, and the highlight follows the two last keys
shot ipsets_menu_highlighted
xdotool key Escape Escape
probe nomenu any 10000 || true
read -r x y < <(probe treeitem "IPTavix Ver2" 0 | tr -d '\r')
xdotool mousemove "$x" "$y" click 3
probe menu any 10000 || true
xdotool key Down
nap 0.3 # as above
shot tree_popup
xdotool key Escape
probe nomenu any 10000 || true
# The Current Configuration list's pop-up, opened on its first row.
eval "$(xdotool getwindowgeometry --shell "$(window_id '^IPTavix Ver2$')")"
xdotool mousemove $((X + 60)) $((Y + HEIGHT - 150)) click 3
probe menu any 10000 || true
nap 0.3 # as above
shot list_popup
xdotool key Escape
probe nomenu any 10000 || true
check "program still answers" "tree 1" "$(probe counts "IPTavix Ver2" | tr -d '\r' | cut -d' ' -f1-2)"
probe close "IPTavix Ver2"
set +e; wait "$pid"; code=$?; set -e
check "program ends with exit code 0" 0 "$code"
finish
