#!/usr/bin/env bash
# The real program under Xvfb: Help > About... from the keyboard shows the
# About box with the program's own version record.
source "$(dirname "$0")/e2e-lib.sh"
start_wm
"$WINE" "$work/ipdbinit.exe" >/dev/null
"$WINE" "$work/IPTavixVer2.exe" &
pid=$!
check "main window appears" 0 "$(probe wait "IPTavix Ver2" 30000; echo $?)"
window_id '^IPTavix Ver2$' >/dev/null
# F10 opens the menu bar; Help is the fourth menu, About... its second item.
keys_to '^IPTavix Ver2$' F10 Right Right Right Down Down Return
check "About box appears" 0 "$(probe wait "Brindlework - About..." 10000; echo $?)"
sleep 1
shot about_box
wid=$(window_id '^Brindlework - About...$')
import -window "$wid" "$work/about_box_window.png" 2>/dev/null || true
check "version shown" yes "$(probe text "Brindlework - About..." | tr -d '\r' | grep -q 'www.brindlework.example' && echo yes || echo no)"
probe click "Brindlework - About..." Ok
sleep 1
check "About box closed" 1 "$(probe wait "Brindlework - About..." 100; echo $?)"
probe close "IPTavix Ver2"
set +e; wait "$pid"; code=$?; set -e
check "program ends with exit code 0" 0 "$code"
finish
