# Which widths of program this host and a Wine prefix run, read from what they
# are, never from which folders exist. Sourced by wine-env.sh, wine-netsh.sh
# and the tests that make prefixes of their own.

# True when this host starts 32-bit programs: Wine's 32-bit loader runs (a
# kernel without 32-bit support answers "Exec format error").
host_runs_32bit() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# pe_arch FILE: i686 or x86_64 from a Windows program's PE header; nothing
# when FILE is no PE file.
pe_arch() {
  local pe machine
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$pe" ] || return 1
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
  014c) echo i686 ;;
  8664) echo x86_64 ;;
  *) return 1 ;;
  esac
}

# prefix_arch PREFIX: win32 or win64, as the prefix records it (#arch= in its
# system.reg), else from the PE header of a program of its system32.
prefix_arch() {
  local arch file
  arch=$(sed -n 's/^#arch=//p' "$1/system.reg" 2>/dev/null | head -n1 | tr -d '\r')
  case "$arch" in
  win32 | win64) echo "$arch"; return 0 ;;
  esac
  for file in "$1"/drive_c/windows/system32/{reg,wineboot,notepad}.exe; do
    case "$(pe_arch "$file")" in
    i686) echo win32; return 0 ;;
    x86_64) echo win64; return 0 ;;
    esac
  done
  return 1
}

# prefix_folders PREFIX: each system folder of the prefix with the width of
# the programs it holds ("system32 x86_64", "syswow64 i686", ...). A 64-bit
# prefix's syswow64 is listed only where it exists.
prefix_folders() {
  case "$(prefix_arch "$1")" in
  win32) echo "system32 i686" ;;
  win64)
    echo "system32 x86_64"
    [ -d "$1/drive_c/windows/syswow64" ] && echo "syswow64 i686"
    ;;
  *) return 1 ;;
  esac
}
