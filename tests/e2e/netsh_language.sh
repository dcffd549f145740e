#!/usr/bin/env bash
# A Russian Windows: netsh fails with its message in the console's code page
# 866, and the failure box shows it in Cyrillic. Wine takes its system locale
# from the environment; the host has no Russian locale installed, so glibc's
# is built into the test's folder.
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Office', '192.168.1.10', '255.255.255.0', '192.168.1.1', '192.168.1.1', 0, 1);"
mkdir -p "$work/locales"
localedef -i ru_RU -f UTF-8 "$work/locales/ru_RU.UTF-8" >/dev/null 2>&1 || true
message="Не удается найти указанный файл."
printf '%s\r\n' "$message" >"$work/netsh-print.txt"
echo 866 >"$work/netsh-codepage.txt"
echo "1 1" >"$work/netsh-exits.txt"
start_program env LOCPATH="$work/locales" LC_ALL=ru_RU.UTF-8
tree_pick 0
keys_to '^IPTavix Ver2$' ctrl+a
check "the failure box appears" 0 "$(probe wait "QV IP Tavix Ver2" 30000; echo $?)"
shot netsh_russian
box=$(probe text "QV IP Tavix Ver2" | tr -d '\r')
check "the box shows netsh's Russian words under the failed step" yes \
  "$(grep -qF "    $message" <<<"$box" && grep -qF 'Setting the address: netsh ended with exit code 1.' <<<"$box" && echo yes || echo "no: $box")"
probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
stop_program
finish
