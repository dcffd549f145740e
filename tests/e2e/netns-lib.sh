# Helpers of the end-to-end tests that apply sets for real through the netsh
# bridge. Each case runs in a network and mount namespace of its own: ipt0
# here and its veth peer ipt0p (10.77.0.1/24) in a helper namespace, a
# private /etc/resolv.conf, private /run and lease folders, and a Wine server
# and prefix of its own, so the host's interfaces, routes, resolver and
# daemons are never touched and everything made ends with the namespaces.

# The prefix the scripts' own prefixes are copied from (netns_base_prefix).
netns_base="$root/build/wineprefix-netns"

# run_netns_cases SCRIPT BIN WORK CASE...: SCRIPT once for each CASE, in new
# namespaces, with IPTAVIX_NETNS_CASE naming it; fails when a case failed or
# a process of a case's namespace outlived it.
run_netns_cases() {
  local script=$1 bin=$2 work=$3 failed=0 case ns proc started owner left=""
  shift 3
  rm -rf "$work" && mkdir -p "$work"
  netns_display || { echo "FAILED: no display of its own could be started"; return 1; }
  trap 'kill "$netns_xvfb" 2>/dev/null || true' EXIT
  # The cases' prefix is made once, here, outside every case's budget: a
  # copy of build/wineprefix-netns for each script, so that two scripts run
  # side by side without meeting in one prefix (its netsh, its registry).
  export IPTAVIX_NETNS_PREFIX="$netns_base-$(basename "$work")"
  netns_base_prefix
  (
    flock 9
    if [ ! -f "$IPTAVIX_NETNS_PREFIX/system.reg" ]; then
      rm -rf "$IPTAVIX_NETNS_PREFIX"
      cp -a "$netns_base" "$IPTAVIX_NETNS_PREFIX"
    fi
  ) 9>"$netns_base.lock"
  for case in "$@"; do
    echo "== $case"
    local began=$SECONDS
    IPTAVIX_NETNS_CASE=$case unshare --net --mount --propagation private \
      bash "$script" "$bin" "$work/$case" || failed=$((failed + 1))
    echo "== $case took $((SECONDS - began)) s"
    # When it ended, in clock ticks since boot (as /proc/PID/stat counts).
    awk -v hz="$(getconf CLK_TCK)" '{printf "%d\n", $1 * hz}' /proc/uptime >"$work/$case/ended" 2>/dev/null || true
  done
  # The namespaces are gone with their processes: none runs on in them. A
  # namespace that did go may have its number again for another test's
  # namespace: only a process started before its case ended is the case's.
  sleep 1
  # Every process's namespace in one look (PID and link per line).
  local spaces
  spaces=$(find /proc -mindepth 3 -maxdepth 3 -path '/proc/[0-9]*/ns/net' -printf '%h %l\n' 2>/dev/null || true)
  for ns in "$work"/*/netns; do
    [ -f "$ns" ] || continue
    for proc in $(awk -v ns="$(cat "$ns")" '$2 == ns {sub(/\/ns$/, "", $1); print $1}' <<<"$spaces"); do
      started=$(sed 's/.*) //' "$proc/stat" 2>/dev/null | awk '{print $20}' || true)
      [ -n "$started" ] || continue # gone meanwhile
      [ "$started" -le "$(cat "$(dirname "$ns")/ended" 2>/dev/null || echo 0)" ] || continue
      # A process of another script's case, whose namespace came a moment
      # after this case's had gone, under its number.
      owner=$(tr '\0' '\n' <"$proc/environ" 2>/dev/null | sed -n 's/^IPTAVIX_NETNS_PREFIX=//p' || true)
      [ -z "$owner" ] || [ "$owner" = "$IPTAVIX_NETNS_PREFIX" ] || continue
      left+="$(tr '\0' ' ' <"$proc/cmdline" 2>/dev/null || true); "
    done
  done
  if [ -n "$left" ]; then echo "FAILED: left running: $left"; failed=$((failed + 1)); fi
  echo "$failed cases failed"
  [ "$failed" -eq 0 ]
}

# netns_base_prefix: build/wineprefix-netns, which the scripts copy, made
# once; scripts/test.sh makes it before ctest starts, so that a fresh
# clone's run spends no test's time on it.
netns_base_prefix() {
  (
    flock 9
    if [ ! -f "$netns_base/system.reg" ]; then
      WINEPREFIX="$netns_base" "$root/scripts/wine-run" wineboot -i </dev/null >/dev/null 2>&1 || true
      WINEPREFIX="$netns_base" wineserver -k >/dev/null 2>&1 || true
      WINEPREFIX="$netns_base" wineserver -w >/dev/null 2>&1 || true
    fi
  ) 9>"$netns_base.lock"
}

# netns_case BIN WORK: what a case begins with inside its namespaces: the
# script's prefix, the end-to-end helpers, the network, a resolver and
# folders of the case's own, its Wine server, and the bridge as netsh.
netns_case() {
  export WINEPREFIX="${IPTAVIX_NETNS_PREFIX:-$netns_base}"
  source "$root/tests/e2e/e2e-lib.sh" "$1" "$2"
  case=$IPTAVIX_NETNS_CASE
  trap netns_cleanup EXIT
  netns_network
  netns_resolver
  netns_private_folders
  netns_wine
  "$root/scripts/wine-netsh.sh" install >/dev/null
}

# netns_display: an X display of the cases' own (its server's pid in
# netns_xvfb), so that they run beside the other end-to-end tests
# and never take their keyboard focus.
netns_xvfb=""
netns_display() {
  # Xvfb itself takes the first free display number and says which, so two
  # scripts starting together never share one.
  local number="$work/.display"
  rm -f "$number"
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 9>"$number" &
  netns_xvfb=$!
  for _ in $(seq 100); do
    if [ -s "$number" ] && xdpyinfo -display ":$(head -n1 "$number")" >/dev/null 2>&1; then
      export DISPLAY=":$(head -n1 "$number")"
      return 0
    fi
    kill -0 "$netns_xvfb" 2>/dev/null || break
    sleep 0.1
  done
  kill "$netns_xvfb" 2>/dev/null || true
  return 1
}

# netns_network: inside a case, the network the sets replace: ipt0 up with
# 192.0.2.50/24 and a default route via 192.0.2.1, its peer in the helper
# namespace (whose pid is $helper); this namespace's id in $work/netns.
helper=""
netns_network() {
  readlink /proc/self/ns/net >"$work/netns"
  ip link set lo up
  unshare --net sleep 600 &
  helper=$!
  wait_until 5 netns_apart "$helper"
  ip link add ipt0 type veth peer name ipt0p
  ip link set ipt0p netns "$helper"
  nsenter -t "$helper" -n ip link set lo up
  nsenter -t "$helper" -n ip addr add 10.77.0.1/24 dev ipt0p
  nsenter -t "$helper" -n ip link set ipt0p up
  ip link set ipt0 up
  ip addr add 192.0.2.50/24 dev ipt0
  ip route add default via 192.0.2.1 dev ipt0
}

# netns_apart PID: true once PID runs in a network namespace other than this.
netns_apart() { [ "$(readlink "/proc/$1/ns/net" 2>/dev/null)" != "$(cat "$work/netns")" ]; }

# netns_private_folders: empty /run, lease folders and Wine's socket folder
# of the case's own.
netns_private_folders() {
  local dir
  for dir in /run /var/lib/dhcp /var/lib/dhcpcd /tmp/.wine-0; do
    mkdir -p "$dir" && mount -t tmpfs -o mode=0755 tmpfs "$dir"
  done
  chmod 0700 /tmp/.wine-0
}

# netns_resolver: a resolv.conf of the case's own bound over the real one.
netns_resolver() {
  printf 'search test.invalid\nnameserver 192.0.2.53\n' >"$work/resolv.conf"
  mount --bind "$work/resolv.conf" /etc/resolv.conf
}

# netns_wine [WRAPPER...]: the case's Wine server and prefix, started through
# WRAPPER if given.
netns_wine() {
  mkdir -p "$WINEPREFIX"
  "$@" wineserver -p >/dev/null 2>&1
  "$@" "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

# netns_cleanup: what every case made outside its namespaces' lifetime.
netns_cleanup() {
  report_early_end $?
  end_watchdog
  probe close "IPTavix Ver2" >/dev/null 2>&1 || true
  probe_stop
  [ -n "$helper" ] && kill "$helper" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# wait_apply: returns when an activation is over: its wait window (shown for
# the whole apply and check) has come and gone, or, where it came and went
# between two looks, none has shown for 3 s and no netsh runs.
wait_apply() {
  waiting_for "an activation's wait window to come and go"
  local title="[IP Tavix Ver2] Please wait..." start=$SECONDS
  while [ $((SECONDS - start)) -lt 90 ]; do
    if probe wait "$title" 500; then
      probe gone "$title" $(((90 - (SECONDS - start)) * 1000)) || true
      break
    fi
    [ $((SECONDS - start)) -ge 3 ] && [ -z "$(prefix_processes 'netsh(\.exe)? interface')" ] && break
  done
  # The list is read again and any box shown once the wait window closes.
  sleep 1
}
