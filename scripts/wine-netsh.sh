#!/usr/bin/env bash
# Puts the netsh bridge into a Wine prefix in place of Wine's own netsh, or
# takes it out again. With the bridge, activating a set under Wine changes
# the host's real network settings through its own tools (ip, a DHCP client,
# resolv.conf or resolvectl); that needs root or CAP_NET_ADMIN.
#
#   scripts/wine-netsh.sh install   the bridge into every system folder of
#                                   $WINEPREFIX, loaded instead of Wine's own
#   scripts/wine-netsh.sh remove    Wine's own netsh back
#
# The bridge is built by the build of each architecture (build/ARCH/bin/
# netsh-bridge/netsh.exe); a system folder whose build is missing is left.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
export WINEPREFIX WINEDEBUG=-all
windows="$WINEPREFIX/drive_c/windows"
[ -d "$windows" ] || { echo "wine-netsh: $WINEPREFIX is no Wine prefix" >&2; exit 1; }

# system32 holds the prefix's own architecture, syswow64 (in a 64-bit
# prefix) the 32-bit programs.
folders() {
  if [ -d "$windows/syswow64" ]; then
    echo "system32 x86_64"
    echo "syswow64 i686"
  else
    echo "system32 i686"
  fi
}

override() { # override add|delete
  if [ "$1" = add ]; then
    "$root/scripts/wine-run" reg add 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /d native /f >/dev/null 2>&1
  else
    "$root/scripts/wine-run" reg delete 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /f >/dev/null 2>&1 || true
  fi
}

case "${1:-}" in
install)
  installed=0
  while read -r folder arch; do
    bridge="$root/build/$arch/bin/netsh-bridge/netsh.exe"
    target="$windows/$folder/netsh.exe"
    [ -f "$bridge" ] || { echo "wine-netsh: no $arch build of the bridge; $folder left as it is" >&2; continue; }
    [ -f "$target.wine" ] || cp "$target" "$target.wine" # Wine's own, kept for remove
    cp "$bridge" "$target"
    installed=$((installed + 1))
  done < <(folders)
  [ "$installed" -gt 0 ] || exit 1
  override add
  echo "netsh bridge installed in $WINEPREFIX"
  ;;
remove)
  while read -r folder _; do
    target="$windows/$folder/netsh.exe"
    [ -f "$target.wine" ] && mv "$target.wine" "$target"
  done < <(folders)
  override delete
  echo "Wine's own netsh restored in $WINEPREFIX"
  ;;
*)
  echo "usage: $0 install|remove" >&2
  exit 2
  ;;
esac
