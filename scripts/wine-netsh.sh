#!/usr/bin/env bash
# Puts the netsh bridge into a Wine prefix in place of Wine's own netsh, or
# takes it out again. With the bridge, activating a set under Wine changes
# the host's real network settings through its own tools (nmcli, networkctl,
# dhcpcd, ip, a DHCP client, resolv.conf or resolvectl); that needs root or
# CAP_NET_ADMIN, or NetworkManager's own permission.
#
#   scripts/wine-netsh.sh install   the bridge into every system folder of
#                                   $WINEPREFIX, loaded instead of Wine's own
#   scripts/wine-netsh.sh remove    Wine's own netsh back, and the netsh
#                                   override the prefix had before install
#
# The bridge is built by the build of each architecture (build/ARCH/bin/
# netsh-bridge/netsh.exe; IPTAVIX_BRIDGE_BUILDS names another build folder).
# Each system folder gets the bridge of its own width: a 64-bit prefix needs
# both builds (only the 64-bit one where the host cannot start 32-bit
# programs); without one, nothing is changed. A 32-bit prefix on such a host
# is refused.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
builds="${IPTAVIX_BRIDGE_BUILDS:-$root/build}"
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
export WINEPREFIX WINEDEBUG=-all
windows="$WINEPREFIX/drive_c/windows"
[ -d "$windows/system32" ] || { echo "wine-netsh: $WINEPREFIX is no Wine prefix" >&2; exit 1; }
key='HKCU\Software\Wine\DllOverrides'
# What the prefix's netsh override was before install ("none": there was none).
saved="$windows/system32/netsh.exe.override"

source "$root/scripts/wine-arch.sh"
prefix_kind=$(prefix_arch "$WINEPREFIX") ||
  { echo "wine-netsh: $WINEPREFIX records no architecture (#arch= in system.reg)" >&2; exit 1; }

# Each system folder to serve and the width of the programs it holds, read
# from the prefix itself: a 64-bit prefix's system32 holds 64-bit programs,
# its syswow64 (where there is one) 32-bit ones; a 32-bit prefix's system32
# 32-bit ones. A 32-bit folder on a host that cannot start 32-bit programs is
# left alone: nothing there can run the bridge, nor any program that would
# start it.
folders() {
  local folder arch
  while read -r folder arch; do
    if [ "$arch" = i686 ] && ! host_runs_32bit; then
      echo "wine-netsh: $folder left as it is: this host cannot start 32-bit programs" >&2
      continue
    fi
    echo "$folder $arch"
  done < <(prefix_folders "$WINEPREFIX")
}

# reg of the prefix's own architecture: wine-run picks the loader from its PE
# header (the 64-bit loader refuses a 32-bit prefix).
reg() { "$root/scripts/wine-run" "$windows/system32/reg.exe" "$@"; }

# The override's value now, or "none".
override_now() {
  local out
  out=$(reg query "$key" /v netsh.exe 2>/dev/null | tr -d '\r') || { echo none; return; }
  awk '$1 == "netsh.exe" && $2 ~ /^REG_/ { $1 = $2 = ""; sub(/^ +/, ""); print; found = 1 }
       END { if (!found) print "none" }' <<<"$out"
}

set_override() { # set_override VALUE|none
  # Already so (a namespaced case's prefix keeps it from the case before).
  [ "$(override_now)" = "$1" ] && return 0
  if [ "$1" = none ]; then
    reg delete "$key" /v netsh.exe /f >/dev/null 2>&1 || true
    [ "$(override_now)" = none ]
  else
    reg add "$key" /v netsh.exe /d "$1" /f >/dev/null 2>&1 && [ "$(override_now)" = "$1" ]
  fi
}

case "${1:-}" in
install)
  if [ "$prefix_kind" = win32 ] && ! host_runs_32bit; then
    echo "wine-netsh: $WINEPREFIX is a 32-bit prefix and this host cannot start 32-bit programs; nothing was changed" >&2
    exit 1
  fi
  served=$(folders)
  # Every folder's build first: a missing one changes nothing.
  while read -r folder arch; do
    bridge="$builds/$arch/bin/netsh-bridge/netsh.exe"
    [ -f "$bridge" ] || {
      echo "wine-netsh: no $arch build of the bridge ($bridge) for $folder; nothing was changed" >&2
      exit 1
    }
  done <<<"$served"
  [ -f "$saved" ] || override_now >"$saved"
  copied=()
  undo() {
    local target
    for target in "${copied[@]}"; do
      [ -f "$target.wine" ] && mv "$target.wine" "$target"
      [ -f "$target.absent" ] && rm -f "$target" "$target.absent"
    done
    set_override "$(cat "$saved")" || true
    rm -f "$saved"
  }
  while read -r folder arch; do
    target="$windows/$folder/netsh.exe"
    if [ ! -f "$target.wine" ] && [ ! -f "$target.absent" ]; then
      if [ -f "$target" ]; then
        cp -p "$target" "$target.wine" || { undo; echo "wine-netsh: $target could not be kept" >&2; exit 1; }
      else
        # A folder without a netsh of Wine's: remove takes the bridge away.
        touch "$target.absent"
      fi
      copied+=("$target")
    fi
    cp "$builds/$arch/bin/netsh-bridge/netsh.exe" "$target" ||
      { undo; echo "wine-netsh: $target could not be written; nothing was changed" >&2; exit 1; }
  done <<<"$served"
  set_override native ||
    { undo; echo "wine-netsh: the netsh override could not be set with reg; nothing was changed" >&2; exit 1; }
  echo "netsh bridge installed in $WINEPREFIX"
  ;;
remove)
  for folder in system32 syswow64; do
    target="$windows/$folder/netsh.exe"
    [ -f "$target.wine" ] && mv "$target.wine" "$target"
    [ -f "$target.absent" ] && rm -f "$target" "$target.absent"
  done
  before=none
  [ -f "$saved" ] && before=$(cat "$saved")
  set_override "$before" || { echo "wine-netsh: the netsh override could not be put back" >&2; exit 1; }
  rm -f "$saved"
  echo "Wine's own netsh restored in $WINEPREFIX"
  ;;
*)
  echo "usage: $0 install|remove" >&2
  exit 2
  ;;
esac
