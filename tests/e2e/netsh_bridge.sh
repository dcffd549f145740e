#!/usr/bin/env bash
# Activation applied for real through the netsh bridge, with the real
# program, keyboard and mouse. Each case runs in a network and mount
# namespace of its own: a veth pair (its peer in a second namespace, with a
# DHCP server where the case needs one), a private /etc/resolv.conf bound
# over the real one, private /run and lease folders, a Wine server and prefix
# of its own, and where the case needs one a NetworkManager (on a private
# system bus) or a dhcpcd manager, so the host's interfaces, routes, resolver
# and daemons are never touched and everything made ends with the namespace.
#
# IPTAVIX_NETNS_CASES, or a third argument, picks the cases
# (netsh_bridge_managers.sh: the managers; e2e_netsh_bridge_extra: extra).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"

source "$here/netns-lib.sh"
if [ -z "${IPTAVIX_NETNS_CASE:-}" ]; then
  # shellcheck disable=SC2086 # the cases are words
  run_netns_cases "$0" "$1" "$2" \
    ${IPTAVIX_NETNS_CASES:-${3:-static no_gateway_no_dns dhcp missing_interface host_refuses refused second_default resolv_link resolved_stub wine_stub}}
  exit
fi

# One case, inside its namespaces.
export WINEPREFIX="${IPTAVIX_NETNS_PREFIX:-$netns_base}"
source "$here/e2e-lib.sh"
case=$IPTAVIX_NETNS_CASE
dnsmasq_pid="" nm_pid="" dbus_pid="" keeper_pid=""
cleanup() {
  [ -n "$keeper_pid" ] && kill "$keeper_pid" 2>/dev/null || true
  for file in /run/iptavix-netsh/*.pid /run/dhcpcd/pid; do
    [ -f "$file" ] && kill "$(cat "$file")" 2>/dev/null || true
  done
  [ -n "$nm_pid" ] && { kill "$nm_pid" 2>/dev/null; wait "$nm_pid" 2>/dev/null; } || true
  [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null || true
  [ -n "$dnsmasq_pid" ] && kill "$dnsmasq_pid" 2>/dev/null || true
  netns_cleanup
}
trap cleanup EXIT

netns_network
# A second interface in every case, which no set may change; in
# second_default it holds the default route of metric 1 already.
ip link add ipt1 type veth peer name ipt1p
ip link set ipt1p netns "$helper"
nsenter -t "$helper" -n ip link set ipt1p up
ip link set ipt1 up
ip addr add 10.88.0.5/24 dev ipt1
[ "$case" = second_default ] && ip route add default via 10.88.0.1 dev ipt1 metric 1
other_state() {
  ip -4 -o addr show dev ipt1 | awk '{print $4}'
  ip -4 route show dev ipt1
}
other_before=$(other_state)

netns_private_folders
resolver="$work/resolv.conf"
if [ "$case" = resolv_link ] || [ "$case" = nm ]; then
  # /etc/resolv.conf a link (as resolvconf or NetworkManager make it), in a
  # private /etc laid over the host's.
  mkdir -p /run/etc-upper /run/etc-work /run/netsh-case
  mount -t overlay overlay -o lowerdir=/etc,upperdir=/run/etc-upper,workdir=/run/etc-work /etc
  resolver=/run/netsh-case/resolv.conf
  printf 'search test.invalid\nnameserver 192.0.2.53\noptions edns0\n' >"$resolver"
  chmod 0644 "$resolver"
  rm -f /etc/resolv.conf
  ln -s "$resolver" /etc/resolv.conf
elif [ "$case" = resolved_stub ]; then
  # A desktop whose resolv.conf names only systemd-resolved's stub: the
  # link's servers are in resolved's own files, which a stand-in for
  # resolvectl keeps as resolved does (no resolved runs in the namespaces).
  printf 'nameserver 127.0.0.53\noptions edns0 trust-ad\nsearch test.invalid\n' >"$resolver"
  mount --bind "$resolver" /etc/resolv.conf
  mkdir -p /run/systemd/resolve/netif
  touch /run/systemd/resolve/io.systemd.Resolve
  printf 'nameserver 192.0.2.53\n' >/run/systemd/resolve/resolv.conf
  mount -t tmpfs tmpfs /usr/local/sbin
  cat >/usr/local/sbin/resolvectl <<'STANDIN'
#!/bin/bash
# resolvectl dns LINK [SERVER...] | resolvectl revert LINK, as far as the bridge uses it.
# Its files are written where their folder is (a test takes it away).
index=$(ip -o link show "$2" | cut -d: -f1)
state=/run/resolvectl-link-$index
case $1 in
  dns) if [ $# -gt 2 ]; then link=$2; shift 2; echo "$@" | xargs >"$state"; set -- dns "$link"; fi ;;
  revert) rm -f "$state" ;;
esac
servers=$(cat "$state" 2>/dev/null)
[ "$1" = dns ] && echo "Link $index ($2): $servers"
[ -d /run/systemd/resolve/netif ] || exit 0
printf 'DNS=%s\n' "$servers" >/run/systemd/resolve/netif/$index
{ for s in $servers; do echo "nameserver $s"; done; echo "nameserver 192.0.2.53"; } | awk '!seen[$0]++' >/run/systemd/resolve/resolv.conf
STANDIN
  chmod 0755 /usr/local/sbin/resolvectl
else
  netns_resolver
fi

if [ "$case" = nm ]; then
  # NetworkManager of this namespace only: a private system bus, its own
  # state folders, a read-only sysfs (so it waits for no udev), ipt0 alone
  # managed, and the resolver written by NetworkManager through the link, as
  # on a desktop (the program checks the DNS server it reads there).
  for dir in /var/lib/NetworkManager /etc/NetworkManager/system-connections; do
    mount -t tmpfs -o mode=0700 tmpfs "$dir"
  done
  mount -t sysfs -o ro sysfs /sys
  mkdir -p /run/dbus
  dbus_pid=$(dbus-daemon --system --fork --print-pid)
  printf '[main]\nplugins=keyfile\nauth-polkit=false\nno-auto-default=*\nrc-manager=file\n[keyfile]\nunmanaged-devices=except:interface-name:ipt0\n' >"$work/nm.conf"
  NetworkManager --no-daemon --config="$work/nm.conf" >"$work/nm.log" 2>&1 &
  nm_pid=$!
  for _ in $(seq 50); do
    nmcli -t -f DEVICE,STATE device 2>/dev/null | grep -q '^ipt0:connected' && break
    nap 0.2
  done
  check "NetworkManager holds ipt0 as set up outside it" "ipt0:connected (externally)" \
    "$(nmcli -t -f DEVICE,STATE device | grep '^ipt0:')"
fi

if [ "$case" = dhcp ] || [ "$case" = nm ] || [ "$case" = dhcpcd_manager ] || [ "$case" = static ]; then
  # No DNS service and so no name server option: the clients leave
  # resolv.conf alone. The static case's lease is to be renewed after 5 s.
  lease=1h renewal=()
  [ "$case" = static ] && lease=2m renewal=(--dhcp-option=option:T1,5)
  nsenter -t "$helper" -n dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --port=0 \
    --user=root --interface=ipt0p --bind-interfaces --dhcp-range=10.77.0.100,10.77.0.150,255.255.255.0,$lease "${renewal[@]}" \
    --dhcp-leasefile="$work/leases" --pid-file="$work/dnsmasq.pid" --log-facility="$work/dnsmasq.log" &
  dnsmasq_pid=$!
fi
if [ "$case" = dhcpcd_manager ]; then
  # One dhcpcd serving the interfaces, as a distribution runs it: the
  # interface holds its lease alone.
  ip -4 addr flush dev ipt0
  # Its configuration where it reads it by default, private to the case.
  printf 'nodev\nnoipv6rs\nnoipv6\nnoarp\nnohook resolv.conf\nallowinterfaces ipt0\n' >"$work/dhcpcd.conf"
  touch /etc/dhcpcd.conf
  mount --bind "$work/dhcpcd.conf" /etc/dhcpcd.conf
  dhcpcd -4 -b -q
  for _ in $(seq 60); do ip -4 -o addr show dev ipt0 | grep -q '10\.77\.0\.' && break; nap 0.5; done
fi

# A user without the right to change the network: neither ip nor Wine's
# server (which opens files for the program) may change what root owns
# read-only, nor the interfaces.
limited=()
[ "$case" = host_refuses ] && limited=(setpriv --bounding-set -net_admin,-dac_override --)
# dhcpcd 9.4 leaves a static interface as it was at a rebind, and the bridge
# waits for the set's address until its deadline: the program's time limit
# (of which the bridge takes three quarters) is shortened for this case.
[ "$case" = dhcpcd_manager ] && export IPTAVIX_NETSH_TIME_LIMIT_MS=20000
netns_wine "${limited[@]}"
# wine_stub keeps Wine's own netsh, which changes nothing and ends with 0.
if [ "$case" = wine_stub ]; then
  "$root/scripts/wine-netsh.sh" remove >/dev/null
  # Whatever override an earlier run left in this prefix: Wine's own it is.
  "$WINE" reg delete 'HKCU\Software\Wine\DllOverrides' /v netsh.exe /f >/dev/null 2>&1 || true
else
  "${limited[@]}" "$root/scripts/wine-netsh.sh" install >/dev/null
fi

# The sets, for the connection named after the interface: the first is
# applied, and in the cases of two the second after it.
connection=ipt0
[ "$case" = missing_interface ] && connection=ipt9
static="'10.77.0.10', '255.255.255.0', '10.77.0.1', '10.77.0.53', 0"
dhcp="'0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 1"
case $case in
  static | missing_interface | host_refuses | second_default | resolv_link | resolved_stub | wine_stub | extra) sets="('First', $static, 1)" ;;
  no_gateway_no_dns) sets="('First', '10.77.0.20', '255.255.0.0', '', '', 0, 1)" ;;
  # The program runs the DNS line after a failed address line: both refused.
  refused) sets="('First', '10.77.0.0', '255.255.255.0', '10.77.0.1', '224.0.0.251', 0, 1)" ;;
  dhcp | dhcpcd_manager) sets="('First', $dhcp, 1), ('Second', $static, 1)" ;;
  nm) sets="('First', $static, 1), ('Second', $dhcp, 1)" ;;
esac
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('$connection');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION) VALUES $sets;"

host_state() {
  ip -4 -o addr show dev ipt0 | awk '{print $4}'
  ip -4 route show default
  cat /etc/resolv.conf
}
# activate ROW: the set in the tree's row ROW applied with Ctrl+A; returns
# when the wait window has come and gone.
activate() {
  tree_click "$1"
  nap 0.3
  keys_to '^IPTavix Ver2$' ctrl+a
  if [ -n "${IPTAVIX_BENCH:-}" ] && [ "$case" = static ]; then
    # For scripts/bench.sh: from Ctrl+A to the list showing the set.
    local start_ns; start_ns=$(date +%s%N)
    for _ in $(seq 600); do probe rows "IPTavix Ver2" 2>/dev/null | grep -q '10\.77\.0\.10' && break; nap 0.05; done
    echo "activation: $((($(date +%s%N) - start_ns) / 1000000)) ms from Ctrl+A to the list showing the set"
  fi
  wait_apply
}
# Processes of this network namespace named NAME (the host's others are not ours).
own_processes() {
  local pid ns count=0
  ns=$(cat "$work/netns")
  for pid in $(pgrep -x "$1" || true); do
    [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" = "$ns" ] && count=$((count + 1))
  done
  echo "$count"
}
# Processes of this network namespace whose command line matches PATTERN.
own_cmdlines() {
  local proc ns count=0
  ns=$(cat "$work/netns")
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/ns/net" 2>/dev/null)" = "$ns" ] || continue
    tr '\0' ' ' <"$proc/cmdline" 2>/dev/null | grep -qE "$1" && count=$((count + 1))
  done
  echo "$count"
}
in_lease_range() {
  [[ "$1" =~ ^10\.77\.0\.1[0-4][0-9]/24$|^10\.77\.0\.150/24$ ]] && echo yes || echo "no: $1"
}
before=$(host_state)

if [ "$case" = extra ]; then
  # A file of the version before extra addresses: the import opens it
  # writable, so it gains the column, and a set with two of them arrives from
  # a CSV file with the Extra column.
  sqlite3 "$db" "ALTER TABLE IPSets DROP COLUMN EXTRAADDRESSES"
  printf '\xEF\xBB\xBFName,Address,Mask,Gateway,DNS,DNS2,Extra,DHCP,Connection\r\nExtra,10.77.0.10,255.255.255.0,10.77.0.1,10.77.0.53,,10.1.0.5/255.255.0.0;192.168.1.50/255.255.255.0,0,ipt0\r\n' >"$work/extra.csv"
  check "the import of the set with two extra addresses" 0 "$(last "$(run /import "Z:$work/extra.csv")")"
  check "the older file gained the column, holding the pairs as written" \
    "10.1.0.5/255.255.0.0;192.168.1.50/255.255.255.0" \
    "$(sqlite3 "$db" "SELECT EXTRAADDRESSES FROM IPSets WHERE IPSET_NAME = 'Extra'")"
  # The lines the program runs, as the bridge receives them.
  export IPTAVIX_NETSH_LOG="Z:$work/netsh-lines.txt"
fi

if [ "$case" = static ]; then
  # A DHCP client as ifupdown starts it for "iface ipt0 inet dhcp", holding
  # a lease to be renewed after 5 s: the static set ends it, whoever started
  # it, and nothing renews the lease over the set.
  dhclient -4 -nw -pf /run/dhclient.ipt0.pid -lf /var/lib/dhcp/dhclient.ipt0.leases ipt0
  wait_until 5 test -s /run/dhclient.ipt0.pid
  waiting_for "ifupdown's dhclient to hold its lease"
  wait_until 20 grep -q 'renew' /var/lib/dhcp/dhclient.ipt0.leases || echo "note: dhclient holds no lease yet"
fi

# The refused case's resolver file is read-only to a user without the
# right to override that.
[ "$case" = host_refuses ] && chmod 0444 "$work/resolv.conf"
start_program "${limited[@]}"
sleep 1
activate "$([ "$case" = extra ] && echo 1 || echo 0)"
shot after_activation
rows=$(probe rows "IPTavix Ver2" | tr -d '\r')
state=$(host_state)

case $case in
static | second_default)
  check "the interface holds exactly the set's address" "10.77.0.10/24" "$(host_state | head -n1)"
  check "the default route goes via the gateway with metric 1" "default via 10.77.0.1 dev ipt0 metric 1" \
    "$(ip -4 route show default | grep 'dev ipt0' | sed 's/ *$//')"
  check "resolv.conf names the DNS server, its other lines kept" \
    "$(printf 'search test.invalid\nnameserver 10.77.0.53')" "$(cat /etc/resolv.conf)"
  check "the program's list shows the new address" yes "$(grep -q '10.77.0.10' <<<"$rows" && echo yes || echo no)"
  no_box "no failure message"
  [ "$case" = second_default ] &&
    check "the other interface keeps its default route" "default via 10.88.0.1 dev ipt1 metric 1" \
      "$(ip -4 route show default | grep 'dev ipt1' | sed 's/ *$//')"
  if [ "$case" = second_default ]; then
    # Something on the host puts an old default gateway back on ipt0 (as a
    # client renewing an old lease does, or Windows keeping one it was
    # given): the set applied again is not in effect, and the user is told
    # which gateway is left beside the set's (by the bridge, which finds it
    # before it ends, or by the program's check after it; both name it).
    (while nap 0.2; do ip route replace default via 10.77.0.254 dev ipt0 metric 50 onlink 2>/dev/null; done) &
    keeper_pid=$!
    activate 0
    shot kept_gateway
    shown=$(probe text "QV IP Tavix Ver2" 2>/dev/null | tr -d '\r' || true)
    kill "$keeper_pid"
    keeper_pid=""
    check "a gateway kept beside the set's: the user is told, naming it" yes \
      "$(grep -qE 'default gateway 10\.77\.0\.254 as well|via 10\.77\.0\.1, 10\.77\.0\.254 instead' <<<"$shown" && echo yes || echo "no: $shown")"
    check "the old addresses were put back whole" no \
      "$(grep -q 'putting back its old addresses failed' <<<"$shown" && echo yes || echo no)"
    probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
  fi
  if [ "$case" = static ]; then
    check "ifupdown's dhclient is gone" 0 "$(own_processes dhclient)"
    check "its lease was to be renewed after 5 s" yes "$(grep -q 'option dhcp-renewal-time 5;' /var/lib/dhcp/dhclient.ipt0.leases && echo yes || echo no)"
    waiting_for "the lease's renewal time to pass"
    sleep 6
    check "the set is kept after the lease's renewal time" "10.77.0.10/24" "$(host_state | head -n1)"
    # Static DNS on the second interface too, then both back to DHCP (straight
    # through the bridge): each keeps the other's servers, and the last one
    # gives the host the servers it began with.
    netsh() { "$WINE" "$WINEPREFIX/drive_c/windows/system32/netsh.exe" interface ip "$@" | tr -d '\r'; }
    netsh set dns "ipt1" static 10.88.0.53 primary >/dev/null
    check "both interfaces' servers, the latest first" "10.88.0.53 10.77.0.53" \
      "$(awk '$1 == "nameserver" {print $2}' /etc/resolv.conf | xargs)"
    netsh set dns "ipt0" dhcp >/dev/null
    check "ipt0 back on DHCP: ipt1's server stays" "10.88.0.53" \
      "$(awk '$1 == "nameserver" {print $2}' /etc/resolv.conf | xargs)"
    netsh set dns "ipt1" dhcp >/dev/null
    check "both back on DHCP: the resolver as it began" "$(printf 'search test.invalid\nnameserver 192.0.2.53')" \
      "$(cat /etc/resolv.conf)"
    # DHCP where no server answers, straight through the bridge: it ends
    # under the program's limit for a run (the bridge takes three quarters
    # of it, 45 s of the program's 60), with the interface as it was and no
    # client left running. The limit shortened to 20 s for the test, through
    # the program's own seam.
    # No server answers from here on.
    kill "$dnsmasq_pid" 2>/dev/null || true
    wait "$dnsmasq_pid" 2>/dev/null || true
    dnsmasq_pid=""
    set_state=$(host_state)
    set +e
    SECONDS=0
    answer=$(IPTAVIX_NETSH_TIME_LIMIT_MS=20000 timeout 20 "$WINE" "$WINEPREFIX/drive_c/windows/system32/netsh.exe" interface ip set address "ipt0" dhcp | tr -d '\r')
    code=$?
    set -e
    echo "DHCP without a server: exit code $code after $SECONDS s: $answer"
    check "DHCP without a server fails with the bridge's exit code, within the limit" 1 "$code"
    check "it names the missing lease and the rollback" yes \
      "$(grep -q 'got no lease for ipt0.*old addresses and routes were put back' <<<"$answer" && echo yes || echo no)"
    check "the interface is as it was" "$set_state" "$(host_state)"
    check "no DHCP client left running" "0 0 0" \
      "$(own_processes dhclient) $(own_processes dhcpcd) $(own_processes udhcpc)"
  fi
  ;;
no_gateway_no_dns)
  check "the interface holds exactly the set's address" "10.77.0.20/16" "$(ip -4 -o addr show dev ipt0 | awk '{print $4}')"
  check "no default route" "" "$(ip -4 route show default)"
  check "no name server line" "search test.invalid" "$(cat /etc/resolv.conf)"
  no_box "no failure message"
  ;;
dhcp | dhcpcd_manager)
  address=$(ip -4 -o addr show dev ipt0 | awk '{print $4}')
  check "the interface holds the lease and nothing else" yes "$(in_lease_range "$address")"
  check "the server handed out that address" yes \
    "$(grep -q " ${address%/*} " "$work/leases" 2>/dev/null && echo yes || echo no)"
  check "the program's list shows the lease" yes "$(grep -q "${address%/*}" <<<"$rows" && echo yes || echo no)"
  if [ "$case" = dhcp ]; then
    no_box "no failure message"
  else
    # The manager's DHCP serves ipt0 already: Windows' answer, nothing changed
    # (a box until the program reads the adapter as the truth).
    shown=$(probe text "QV IP Tavix Ver2" 2>/dev/null | tr -d '\r' || true)
    check "no box, or one with Windows' answer" yes \
      "$([ "$(box_count)" = 0 ] || grep -qF 'DHCP is already enabled on this interface.' <<<"$shown" && echo yes || echo "no: $shown")"
    probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
  fi
  if [ "$case" = dhcp ]; then
    check "the bridge's client keeps running, with its pid file" 1 "$(own_processes dhclient)"
    check "its pid file is the bridge's own" dhclient \
      "$(cat "/proc/$(cat /run/iptavix-netsh/dhclient-ipt0.pid)/comm" 2>/dev/null)"
    # The same DHCP set again: Windows' netsh answers that DHCP is on already
    # (exit code 1) and changes nothing; the adapter shows the set, so the
    # program tells no failure, from the window or the command line.
    activate 0
    shot dhcp_again
    no_box "DHCP again: no box"
    probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
    check "DHCP again: the same lease" "$address" "$(ip -4 -o addr show dev ipt0 | awk '{print $4}')"
    check "DHCP again: still one client" 1 "$(own_processes dhclient)"
    waiting_for "/activate of the DHCP set on a connection already on DHCP"
    set +e
    timeout 60 "$WINE" "$work/IPTavixVer2.exe" /activate First >"$work/activate.txt" 2>&1
    code=$?
    set -e
    echo "/activate First: exit code $code: $(tr -d '\r' <"$work/activate.txt")"
    check "DHCP again from the command line: exit code 0" 0 "$code"
  else
    check "no second client beside the manager" "0 0" "$(own_processes dhclient) $(own_processes udhcpc)"
    check "one dhcpcd manager, no dhcpcd of the bridge" "1 0" "$(own_cmdlines '\[manager\]') $(own_cmdlines '^[^ ]*dhcpcd -4 -t')"
  fi
  activate 1
  shot after_static
  address=$(ip -4 -o addr show dev ipt0 | awk '{print $4}')
  check "then static: no client of the bridge runs" "0 0" "$(own_processes dhclient) $(own_processes udhcpc)"
  check "then static: no pid file of the bridge is left" "" "$(ls /run/iptavix-netsh/*.pid 2>/dev/null || true)"
  if [ "$case" = dhcp ]; then
    check "then static: exactly the set's address" "10.77.0.10/24" "$address"
    no_box "then static: no failure message"
  else
    check "the manager still runs, alone" "1 0" "$(own_cmdlines '\[manager\]') $(own_cmdlines '^[^ ]*dhcpcd -4 -t')"
    # dhcpcd 9.4 may leave a rebind undone: then the user is told, and the
    # configuration goes back to what the interface shows.
    block=$(grep -c '^static ip_address=10.77.0.10/24$' "$work/dhcpcd.conf" || true)
    if [ "$(box_count)" = 0 ]; then
      echo "outcome: the manager applied the static set"
      check "the manager holds the set in its configuration" 1 "$block"
      check "then static: exactly the set's address" "10.77.0.10/24" "$address"
    else
      echo "outcome: the manager left the interface as it was, and the user was told"
      check "its configuration holds no block of the bridge" 0 "$block"
      check "the interface still holds its lease alone" yes "$(in_lease_range "$address")"
    fi
  fi
  ;;
nm)
  profile=$(nmcli -g ipv4.method,ipv4.addresses,ipv4.gateway,ipv4.dns connection show "IPTavix ipt0" | tr '\n' ' ')
  check "NetworkManager's profile holds the set" "manual 10.77.0.10/24 10.77.0.1 10.77.0.53 " "$profile"
  no_box "no failure message"
  nmcli device reapply ipt0 >/dev/null
  sleep 2
  check "after NetworkManager applies its profile again: exactly the set's address" "10.77.0.10/24" \
    "$(ip -4 -o addr show dev ipt0 | awk '{print $4}')"
  check "NetworkManager's default route via the gateway" yes \
    "$(ip -4 route show default dev ipt0 | grep -q '^default via 10.77.0.1 ' && echo yes || echo no)"
  activate 1
  shot after_dhcp
  check "then DHCP through NetworkManager: the lease" yes "$(in_lease_range "$(ip -4 -o addr show dev ipt0 | awk '{print $4}')")"
  check "the profile is DHCP, its own DNS taken back" "auto  no " \
    "$(nmcli -g ipv4.method,ipv4.dns,ipv4.ignore-auto-dns connection show "IPTavix ipt0" | tr '\n' ' ')"
  check "no DHCP client of the bridge beside NetworkManager" "0 0 0" \
    "$(own_processes dhclient) $(own_processes udhcpc) $(own_processes dhcpcd)"
  no_box "no failure message"
  ;;
resolv_link)
  check "resolv.conf is still the link" "$resolver" "$(readlink /etc/resolv.conf)"
  check "the server behind it names the DNS server, its other lines kept" \
    "$(printf 'search test.invalid\nnameserver 10.77.0.53\noptions edns0')" "$(cat "$resolver")"
  check "its mode is kept" 644 "$(stat -c %a "$resolver")"
  no_box "no failure message"
  ;;
resolved_stub)
  check "the interface holds exactly the set's address" "10.77.0.10/24" "$(host_state | head -n1)"
  check "resolv.conf still names only the stub" "nameserver 127.0.0.53" "$(grep nameserver /etc/resolv.conf)"
  check "resolved holds the set's server for the link" "DNS=10.77.0.53" \
    "$(cat /run/systemd/resolve/netif/"$(ip -o link show ipt0 | cut -d: -f1)")"
  no_box "no box: the check read the servers behind the stub"
  # Where nothing tells the servers behind the stub, the set is in effect
  # and the DNS is said not to be checked, never called wrong.
  rm -rf /run/systemd/resolve/netif /run/systemd/resolve/resolv.conf
  waiting_for "/activate where the servers behind the stub cannot be read"
  set +e
  said=$(timeout 60 "$WINE" "$work/IPTavixVer2.exe" /activate First 2>&1 | tr -d '\r')
  code=$?
  set -e
  check "unreadable servers behind the stub: applied, exit code 0" 0 "$code"
  check "and the DNS said not to be checked" yes \
    "$(grep -qF 'but its DNS servers could not be checked' <<<"$said" && echo yes || echo "no: $said")"
  ;;
wine_stub)
  check "the user is told the set is not in effect, with what the connection shows" yes \
    "$(probe text "QV IP Tavix Ver2" | tr -d '\r' | grep -qF 'The IP set "First" is not in effect on the connection "ipt0": it shows 192.0.2.50/255.255.255.0, not 10.77.0.10/255.255.255.0.' && echo yes || echo no)"
  check "one box" 1 "$(box_count)"
  shot not_in_effect
  check "nothing on the host changed" "$before" "$state"
  ;;
extra)
  addresses() { ip -4 -o addr show dev ipt0 | awk '{print $4}' | sort | xargs; }
  check "the interface holds the set's address and both extra ones" \
    "10.1.0.5/16 10.77.0.10/24 192.168.1.50/24" "$(addresses)"
  check "the program ran exactly these lines" \
    "$(printf '%s\n' 'netsh interface ip set address "ipt0"  static 10.77.0.10 255.255.255.0 10.77.0.1 1' \
      'netsh interface ip add address "ipt0" 10.1.0.5 255.255.0.0' \
      'netsh interface ip add address "ipt0" 192.168.1.50 255.255.255.0' \
      'netsh interface ip set dns "ipt0"  static 10.77.0.53 primary')" \
    "$(tr -d '\r' <"$work/netsh-lines.txt")"
  no_box "no failure message"
  check "the list shows each address on a row of its own" yes \
    "$(grep -qx 'Current IP|192.168.1.50/255.255.255.0' <<<"$rows" && echo yes || echo no)"
  # The editor with the list, as the user opens it (Ctrl+E on the set).
  keys_to '^IPTavix Ver2$' ctrl+e
  dialog_ready "Edit existing IP Set" || true
  shot editor_extra_addresses
  probe close "Edit existing IP Set" >/dev/null 2>&1 || true
  gone "Edit existing IP Set" || true
  # list_row PATTERN: the list's row whose caption|text matches, chosen with
  # the keyboard, its pop-up menu opened with Shift+F10.
  list_popup() {
    local row
    row=$(probe rows "IPTavix Ver2" | tr -d '\r' | grep -nx "$1" | head -n1 | cut -d: -f1)
    eval "$(xdotool getwindowgeometry --shell "$(window_id '^IPTavix Ver2$')")"
    xdotool mousemove $((X + 60)) $((Y + HEIGHT - 150)) click 1
    nap 0.3
    xdotool key Home
    for _ in $(seq 2 "${row:-1}"); do xdotool key Down; done
    nap 0.3
    xdotool key shift+F10
    probe menu any 10000 || true
    nap 0.3
  }
  # Add on the fly: the pop-up's second item. A hurried user first presses Ok
  # on empty fields, then types an address the connection has, then leaves
  # with Alt+F4: nothing runs.
  add_dialog="Add Address to This Connection"
  lines_before=$(wc -l <"$work/netsh-lines.txt")
  list_popup 'Current IP|10.77.0.10/255.255.255.0'
  shot list_popup_address_row
  xdotool key Down Down Return
  check "the dialog opens" 0 "$(dialog_ready "$add_dialog"; echo $?)"
  click_on "$add_dialog" Ok
  probe wait "QV IP Tavix Ver2" 10000 || true
  check "Ok on empty fields asks for the address" "Enter the IP address." \
    "$(probe text "QV IP Tavix Ver2" | tr -d '\r' | grep -o 'Enter the IP address\.' || true)"
  probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
  dialog_ready "$add_dialog" || true
  xdotool type --delay 50 "10.1.0.5"
  xdotool key Tab
  xdotool type --delay 50 "255.255.0.0"
  click_on "$add_dialog" Ok
  probe wait "QV IP Tavix Ver2" 10000 || true
  check "an address the connection has is refused" yes \
    "$(probe text "QV IP Tavix Ver2" | tr -d '\r' | grep -qF 'The extra address 10.1.0.5 is' && echo yes || echo no)"
  probe close "QV IP Tavix Ver2" >/dev/null 2>&1 || true
  dialog_ready "$add_dialog" || true
  keys_to "^$add_dialog\$" alt+F4
  check "Alt+F4 closes the dialog" 0 "$(gone "$add_dialog"; echo $?)"
  check "nothing ran" "$lines_before" "$(wc -l <"$work/netsh-lines.txt")"
  list_popup 'Current IP|10.77.0.10/255.255.255.0'
  xdotool key Down Down Return
  check "the dialog opens again" 0 "$(dialog_ready "$add_dialog"; echo $?)"
  xdotool type --delay 50 "172.16.0.9"
  xdotool key Tab
  xdotool type --delay 50 "255.255.0.0"
  shot add_address_dialog
  click_on "$add_dialog" Ok
  wait_apply
  check "added on the fly: the interface holds four addresses" \
    "10.1.0.5/16 10.77.0.10/24 172.16.0.9/16 192.168.1.50/24" "$(addresses)"
  check "added on the fly: exactly the add line" 'netsh interface ip add address "ipt0" 172.16.0.9 255.255.0.0' \
    "$(tail -n1 "$work/netsh-lines.txt" | tr -d '\r')"
  no_box "added on the fly: no failure message"
  # Removed on the fly: on that address's row the pop-up offers it third.
  list_popup 'Current IP|172.16.0.9/255.255.0.0'
  xdotool key Down Down Down Return
  wait_apply
  check "removed on the fly: three addresses again" \
    "10.1.0.5/16 10.77.0.10/24 192.168.1.50/24" "$(addresses)"
  check "removed on the fly: exactly the delete line" 'netsh interface ip delete address "ipt0" 172.16.0.9' \
    "$(tail -n1 "$work/netsh-lines.txt" | tr -d '\r')"
  no_box "removed on the fly: no failure message"
  # Undo puts back what the connection had before the removal.
  keys_to '^IPTavix Ver2$' ctrl+z
  wait_apply
  check "after Undo: the removed address is back beside the others" \
    "10.1.0.5/16 10.77.0.10/24 172.16.0.9/16 192.168.1.50/24" "$(addresses)"
  no_box "after Undo: no failure message"
  shot after_undo
  ;;
missing_interface | host_refuses | refused)
  check "the user sees the failure message" 1 "$(box_count)"
  shot failure_message
  check "nothing on the host changed" "$before" "$state"
  ;;
esac
check "the second interface's addresses and routes are unchanged" "$other_before" "$(other_state)"
check "no file left beside the resolver" "" "$(ls -a /etc "$(dirname "$resolver")" | grep -E '^\.?resolv\.conf\.' || true)"
echo "list: $(tr '\n' ';' <<<"$rows")"
probe close "IP Tavix Ver2" >/dev/null 2>&1 || true
nap 0.5
stop_program
finish
