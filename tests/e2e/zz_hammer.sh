#!/usr/bin/env bash
source "$(dirname "$0")/e2e-lib.sh"
prepare_sets "INSERT INTO Connections (CONNECTIONNAME) VALUES ('Büro'), ('Buro');
  INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, CONNECTION)
  VALUES ('Büro fest', '10.0.0.5', '255.0.0.0', '', '', 0, 1);"
bad=0
for i in $(seq ${N:-60}); do
  : >"$work/netsh-log.txt"
  r=$(run /activate "BÜRO FEST")
  n=$(wc -l <"$work/netsh-log.txt")
  if [ "$n" != 2 ]; then bad=$((bad+1)); echo "run $i: $n lines, exit $(last "$r"): $(head -c 300 <<<"$r" | tr '\n' ' ')"; cat "$work/netsh-log.txt"; fi
done
echo "bad=$bad of ${N:-60}"
finish
