#!/usr/bin/env bash
# The netsh bridge where a manager owns the interface: NetworkManager and a
# dhcpcd manager, each in namespaces of its own (see netsh_bridge.sh).
IPTAVIX_NETNS_CASES="nm dhcpcd_manager" exec bash "$(dirname "$0")/netsh_bridge.sh" "$@"
