#!/usr/bin/env bash
# The real program under Xvfb: Help > About... from the keyboard shows the
# About box with the program's own version record; Ok has the focus, and
# Enter, Esc and a click on Ok each close it.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database
start_program
open_about() {
  # F10 opens the menu bar; Help is the fourth menu, About... its second item.
  keys_to '^IPTavix Ver2$' F10 Right Right Right Down Down Return
  check "About box appears" 0 "$(probe wait "Brindlework - About..." 10000; echo $?)"
  sleep 1
}
open_about
shot about_box
wid=$(window_id '^Brindlework - About...$')
import -window "$wid" "$work/about_box_window.png" 2>/dev/null || true
check "version shown" yes "$(probe text "Brindlework - About..." | tr -d '\r' | grep -q 'www.brindlework.example' && echo yes || echo no)"
check "Ok has the focus" "Button|Ok" "$(probe focus "Brindlework - About..." | tr -d '\r')"
keys_to '^Brindlework - About...$' Return
sleep 1
check "Enter closes the About box" 1 "$(probe wait "Brindlework - About..." 100; echo $?)"
open_about
keys_to '^Brindlework - About...$' Escape
sleep 1
check "Esc closes the About box" 1 "$(probe wait "Brindlework - About..." 100; echo $?)"
open_about
click_on "Brindlework - About..." Ok
sleep 1
check "a click on Ok closes the About box" 1 "$(probe wait "Brindlework - About..." 100; echo $?)"
stop_program
finish
