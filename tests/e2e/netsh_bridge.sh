#!/usr/bin/env bash
# Activation applied for real through the netsh bridge, with the real
# program, keyboard and mouse. Each case runs in a network and mount
# namespace of its own: a veth pair (its peer in a second namespace, with a
# DHCP server where the case needs one), a private /etc/resolv.conf bound
# over the real one, private /run and lease folders, and a Wine server and
# prefix of its own, so the host's interfaces, routes and resolver are never
# touched and everything made ends with the namespace.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"

if [ -z "${IPTAVIX_NETNS_CASE:-}" ]; then
  rm -rf "$2" && mkdir -p "$2"
  failed=0
  for case in ${IPTAVIX_NETNS_CASES:-static no_gateway_no_dns dhcp missing_interface host_refuses wine_stub}; do
    echo "== $case"
    IPTAVIX_NETNS_CASE=$case unshare --net --mount --propagation private \
      bash "$0" "$1" "$2/$case" || failed=$((failed + 1))
  done
  # The namespaces are gone with their processes: nothing of the cases runs on.
  sleep 1
  left=$(pgrep -af 'dnsmasq.*ipt0p|dhclient.*ipt0|unshare --net sleep 600' || true)
  if [ -n "$left" ]; then echo "FAILED: left running: $left"; failed=$((failed + 1)); fi
  echo "$failed cases failed"
  [ "$failed" -eq 0 ]
  exit
fi

# One case, inside its namespaces.
export WINEPREFIX="$root/build/wineprefix-netns"
source "$here/e2e-lib.sh"
case=$IPTAVIX_NETNS_CASE
helper="" dnsmasq_pid=""
cleanup() {
  "$WINE" "$work/winprobe.exe" close "IPTavix Ver2" >/dev/null 2>&1 || true
  [ -f /run/dhclient.pid ] && kill "$(cat /run/dhclient.pid)" 2>/dev/null || true
  [ -n "$dnsmasq_pid" ] && kill "$dnsmasq_pid" 2>/dev/null || true
  [ -n "$helper" ] && kill "$helper" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}
trap cleanup EXIT

# The network: ipt0 here, ipt0p in the helper namespace as 10.77.0.1/24.
ip link set lo up
unshare --net sleep 600 &
helper=$!
sleep 0.2
ip link add ipt0 type veth peer name ipt0p
ip link set ipt0p netns "$helper"
nsenter -t "$helper" -n ip link set lo up
nsenter -t "$helper" -n ip addr add 10.77.0.1/24 dev ipt0p
nsenter -t "$helper" -n ip link set ipt0p up
# What the set replaces: an old address and default route.
ip link set ipt0 up
ip addr add 192.0.2.50/24 dev ipt0
ip route add default via 192.0.2.1 dev ipt0

printf 'search test.invalid\nnameserver 192.0.2.53\n' >"$work/resolv.conf"
mount --bind "$work/resolv.conf" /etc/resolv.conf
for dir in /run /var/lib/dhcp /tmp/.wine-0; do
  mkdir -p "$dir" && mount -t tmpfs -o mode=0755 tmpfs "$dir"
done
chmod 0700 /tmp/.wine-0

# A user without the right to change the network: neither ip nor Wine's
# server (which opens files for the program) may change what root owns
# read-only, nor the interfaces.
limited=()
[ "$case" = host_refuses ] && limited=(setpriv --bounding-set -net_admin,-dac_override --)
mkdir -p "$WINEPREFIX"
"${limited[@]}" wineserver -p >/dev/null 2>&1
"${limited[@]}" "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
# wine_stub has Wine's own netsh, which changes nothing and ends with 0.
if [ "$case" = wine_stub ]; then
  "$root/scripts/wine-netsh.sh" remove >/dev/null
else
  "${limited[@]}" "$root/scripts/wine-netsh.sh" install >/dev/null
fi

# The sets: one per case, for the connection named after the interface.
connection=ipt0
[ "$case" = missing_interface ] && connection=ipt9
case $case in
  static | missing_interface | host_refuses | wine_stub) set="'10.77.0.10', '255.255.255.0', '10.77.0.1', '10.77.0.53', 0" ;;
  no_gateway_no_dns) set="'10.77.0.20', '255.255.0.0', '', '', 0" ;;
  dhcp) set="'0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 1" ;;
esac
prepare_database "INSERT INTO Connections (CONNECTIONNAME) VALUES ('$connection');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Case', $set, 1);"

if [ "$case" = dhcp ]; then
  # No DNS service and so no name server option: the client's script leaves
  # resolv.conf alone.
  nsenter -t "$helper" -n dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --port=0 \
    --user=root --interface=ipt0p --bind-interfaces --dhcp-range=10.77.0.100,10.77.0.150,255.255.255.0,1h \
    --dhcp-leasefile="$work/leases" --pid-file="$work/dnsmasq.pid" --log-facility="$work/dnsmasq.log" &
  dnsmasq_pid=$!
fi

host_state() {
  ip -4 -o addr show dev ipt0 | awk '{print $4}'
  ip -4 route show default
  cat /etc/resolv.conf
}
before=$(host_state)

# The refused case's resolver file is read-only to a user without the
# right to override that.
[ "$case" = host_refuses ] && chmod 0444 "$work/resolv.conf"
start_program "${limited[@]}"
sleep 1
tree_click 0
sleep 0.3
keys_to '^IPTavix Ver2$' ctrl+a
if [ -n "${IPTAVIX_BENCH:-}" ] && [ "$case" = static ]; then
  # For scripts/bench.sh: from Ctrl+A to the list showing the set.
  start_ns=$(date +%s%N)
  for _ in $(seq 600); do probe rows "IPTavix Ver2" 2>/dev/null | grep -q '10\.77\.0\.10' && break; sleep 0.05; done
  echo "activation: $((($(date +%s%N) - start_ns) / 1000000)) ms from Ctrl+A to the list showing the set"
fi
# The activation ends when the wait window has come and gone.
probe wait "[IP Tavix Ver2] Please wait..." 10000 || true
for _ in $(seq 120); do
  probe wait "[IP Tavix Ver2] Please wait..." 100 || break
  sleep 0.5
done
sleep 1.5
shot after_activation
rows=$(probe rows "IPTavix Ver2" | tr -d '\r')
state=$(host_state)

case $case in
static)
  check "the interface holds exactly the set's address" "10.77.0.10/24" "$(host_state | head -n1)"
  check "the default route goes via the gateway with metric 1" "default via 10.77.0.1 dev ipt0 metric 1" \
    "$(ip -4 route show default | sed 's/ *$//')"
  check "resolv.conf names the DNS server, its other lines kept" \
    "$(printf 'search test.invalid\nnameserver 10.77.0.53')" "$(cat /etc/resolv.conf)"
  check "the program's list shows the new address" yes "$(grep -q '10.77.0.10' <<<"$rows" && echo yes || echo no)"
  check "no failure message" 0 "$(box_count)"
  ;;
no_gateway_no_dns)
  check "the interface holds exactly the set's address" "10.77.0.20/16" "$(ip -4 -o addr show dev ipt0 | awk '{print $4}')"
  check "no default route" "" "$(ip -4 route show default)"
  check "no name server line" "search test.invalid" "$(cat /etc/resolv.conf)"
  check "no failure message" 0 "$(box_count)"
  ;;
dhcp)
  address=$(ip -4 -o addr show dev ipt0 | awk '{print $4}')
  check "the interface holds the lease and nothing else" yes \
    "$([[ "$address" =~ ^10\.77\.0\.1[0-4][0-9]/24$|^10\.77\.0\.150/24$ ]] && echo yes || echo "no: $address")"
  check "the server handed out that address" yes \
    "$(grep -q " ${address%/*} " "$work/leases" 2>/dev/null && echo yes || echo no)"
  check "the program's list shows the lease" yes "$(grep -q "${address%/*}" <<<"$rows" && echo yes || echo no)"
  check "no failure message" 0 "$(box_count)"
  ;;
wine_stub)
  check "the user is told the set is not in effect, with what the connection shows" yes \
    "$(probe text "QV IP Tavix Ver2" | tr -d '\r' | grep -qF 'The IP set "Case" is not in effect on the connection "ipt0": it shows 192.0.2.50/255.255.255.0, not 10.77.0.10/255.255.255.0.' && echo yes || echo no)"
  check "one box" 1 "$(box_count)"
  check "nothing on the host changed" "$before" "$state"
  ;;
missing_interface | host_refuses)
  check "the user sees the failure message" 1 "$(box_count)"
  check "nothing on the host changed" "$before" "$state"
  ;;
esac
check "the client left no file beside the resolver" "" "$(ls /etc | grep -E '^\.?resolv\.conf\.' || true)"
echo "list: $(tr '\n' ';' <<<"$rows")"
[ "$(box_count)" -eq 0 ] || echo "box: $(probe text "QV IP Tavix Ver2" | tr -d '\r' | tr '\n' ' ')"
probe close "IP Tavix Ver2" >/dev/null 2>&1 || true
sleep 0.5
stop_program
finish
