#!/usr/bin/env bash
# Installs the build and test dependencies on Debian 12 (as root) and prepares
# the third-party sources in build/deps. Safe to run again: every step checks
# whether its result is already there.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
deps="${IPTAVIX_DEPS:-$here/build/deps}"
mkdir -p "$deps"

need_pkgs=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix cmake ninja-build make tcl xvfb xdotool
           wine wine32:i386 wine64 imagemagick openbox googletest dpkg-dev zip x11-utils sqlite3 fonts-wine xclip
           iproute2 util-linux dnsmasq-base isc-dhcp-client network-manager dhcpcd-base udhcpc trayer)

have_all() {
  local p
  for p in "${need_pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || return 1
  done
}

# apt-get update, tried again a few times: a mirror in mid-sync serves an
# index of the wrong size for a while. An index that still fails is a warning;
# apt keeps the lists it had, and the install below copes with the mismatch.
apt_update() {
  local attempt log
  log=$(mktemp)
  for attempt in 1 2 3; do
    if apt-get update -qq >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    [ "$attempt" = 3 ] || sleep $((attempt * 5))
  done
  echo "setup: warning: some package indexes could not be downloaded; going on with the lists apt has:" >&2
  grep -E '^(E|W): Failed' "$log" | sed 's/^/  /' >&2 || true
  rm -f "$log"
}

# The release this machine runs (bookworm), from /etc/os-release.
release_codename() {
  (. /etc/os-release && echo "${VERSION_CODENAME:-}")
}

# apt_install PACKAGES...: installs them. Where the updates suite's index for
# one architecture is missing, amd64 libraries come from the updates and their
# i386 twins only from the release, and multiarch refuses the mismatch: then
# the release's own versions are installed for both. A package that still
# cannot be installed stops the set-up, named with apt's reason.
apt_install() {
  local log release pkg
  log=$(mktemp)
  if apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  release=$(release_codename)
  if [ -n "$release" ] &&
    apt-get install -y -qq --no-install-recommends -t "$release" "$@" >"$log" 2>&1; then
    echo "setup: installed with the $release release's own versions (the updates' indexes disagree between architectures)" >&2
    rm -f "$log"
    return 0
  fi
  for pkg in "$@"; do
    if ! apt-get install -s -qq --no-install-recommends ${release:+-t "$release"} "$pkg" >"$log" 2>&1; then
      echo "setup: the package $pkg cannot be installed:" >&2
      grep -vE '^(Reading|Building|NOTE)' "$log" | sed 's/^/  /' >&2
      rm -f "$log"
      exit 1
    fi
  done
  echo "setup: the packages could not be installed together:" >&2
  sed 's/^/  /' "$log" >&2
  rm -f "$log"
  exit 1
}

src_list=/etc/apt/sources.list.d/iptavix-src.sources
if ! have_all || [ ! -f "$src_list" ]; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # Source packages: the same mirrors as the binary entries, with Types: deb-src.
  if [ ! -f "$src_list" ]; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$src_list"
    elif [ -f /etc/apt/sources.list ]; then
      grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >/etc/apt/sources.list.d/iptavix-src.list
      touch "$src_list"
    fi
  fi
  apt_update
  # network-manager and the DHCP clients ship daemons: none may start on this
  # host (the tests run them only inside namespaces of their own), and the
  # host's interfaces and resolver must come out as they went in.
  guard=/usr/sbin/policy-rc.d own_guard=0
  if [ ! -e "$guard" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$guard" && chmod 0755 "$guard"
    own_guard=1
  fi
  links_before=$(ip -br a) resolver_before=$(ls -l /etc/resolv.conf; cat /etc/resolv.conf)
  apt_install "${need_pkgs[@]}"
  [ "$own_guard" = 0 ] || rm -f "$guard"
  running=$(ps -eo pid=,comm= | grep -E ' (NetworkManager|dhcpcd|wpa_supplicant|udhcpc)$' || true)
  [ -z "$running" ] || { echo "setup: a network daemon runs on the host: $running" >&2; exit 1; }
  [ "$links_before" = "$(ip -br a)" ] || { echo "setup: the host's interfaces changed" >&2; exit 1; }
  [ "$resolver_before" = "$(ls -l /etc/resolv.conf; cat /etc/resolv.conf)" ] ||
    { echo "setup: the host's /etc/resolv.conf changed" >&2; exit 1; }
fi


# SQLite amalgamation from Debian's source package.
if [ ! -f "$deps/sqlite/sqlite3.c" ]; then
  rm -rf "$deps/sqlite-src" && mkdir -p "$deps/sqlite-src"
  (cd "$deps/sqlite-src" && apt-get source -qq sqlite3 >/dev/null 2>&1)
  dir=$(find "$deps/sqlite-src" -maxdepth 1 -mindepth 1 -type d | head -n1)
  (cd "$dir" && ./configure >/dev/null && make -s sqlite3.c >/dev/null)
  mkdir -p "$deps/sqlite"
  cp "$dir/sqlite3.c" "$dir/sqlite3.h" "$deps/sqlite/"
  rm -rf "$deps/sqlite-src"
fi

# libjpeg-turbo from Debian's source package, cross-built as a static library
# for each Windows architecture.
jpeg_src=""
for arch in i686 x86_64; do
  [ -f "$deps/$arch/jpeg/lib/libjpeg.a" ] && continue
  if [ -z "$jpeg_src" ]; then
    rm -rf "$deps/jpeg-src" && mkdir -p "$deps/jpeg-src"
    (cd "$deps/jpeg-src" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1)
    jpeg_src=$(find "$deps/jpeg-src" -maxdepth 1 -mindepth 1 -type d | head -n1)
  fi
  rm -rf "$deps/$arch/jpeg-build"
  cmake -S "$jpeg_src" -B "$deps/$arch/jpeg-build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/$arch/jpeg" \
    -DCMAKE_INSTALL_LIBDIR=lib -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF >/dev/null
  cmake --build "$deps/$arch/jpeg-build" --target jpeg-static >/dev/null
  mkdir -p "$deps/$arch/jpeg/lib" "$deps/$arch/jpeg/include"
  cp "$deps/$arch/jpeg-build/libjpeg.a" "$deps/$arch/jpeg/lib/"
  cp "$jpeg_src"/jpeglib.h "$jpeg_src"/jmorecfg.h "$jpeg_src"/jerror.h "$deps/$arch/jpeg/include/"
  cp "$deps/$arch/jpeg-build/jconfig.h" "$deps/$arch/jpeg/include/"
  rm -rf "$deps/$arch/jpeg-build"
done
rm -rf "$deps/jpeg-src"

