#!/usr/bin/env bash
# The real program under Xvfb: Help > About... from the keyboard shows the
# About box with the program's own version record; Ok has the focus, and
# Enter, Esc and a click on Ok each close it.
source "$(dirname "$0")/e2e-lib.sh"
prepare_database
start_program
open_about() {
  # F10 opens the menu bar; Help is the fifth menu, About... its second item.
  keys_to '^IPTavix Ver2$' F10 Right Right Right Right Down Down Return
  check "About box appears" 0 "$(probe wait "Brindlework - About..." 10000; echo $?)"
  wait_until 10 focus_is "Brindlework - About..." "Button|Ok" || true
}
open_about
shot about_box
wid=$(window_id '^Brindlework - About...$')
import -window "$wid" "$work/about_box_window.png" 2>/dev/null || true
check "version shown" yes "$(probe text "Brindlework - About..." | tr -d '\r' | grep -q 'www.brindlework.example' && echo yes || echo no)"
check "Ok has the focus" "Button|Ok" "$(probe focus "Brindlework - About..." | tr -d '\r')"
keys_to '^Brindlework - About...$' Return
check "Enter closes the About box" 0 "$(gone "Brindlework - About..."; echo $?)"
open_about
keys_to '^Brindlework - About...$' Escape
check "Esc closes the About box" 0 "$(gone "Brindlework - About..."; echo $?)"
open_about
click_on "Brindlework - About..." Ok
check "a click on Ok closes the About box" 0 "$(gone "Brindlework - About..."; echo $?)"
stop_program
finish
