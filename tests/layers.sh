#!/usr/bin/env bash
# Every include of ours points down the layers: a folder may include only
# itself and the folders its library links. The linker catches calls that
# run upward; this catches what a header alone would let through.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
declare -A allowed=(
  [base]="base"
  [store]="base store"
  [toolkit]="base store toolkit"
  [adapters]="base adapters"
  [menustyler]="base store toolkit menustyler"
  [fileinfo]="base store toolkit fileinfo"
  [activation]="base activation"
  [editor]="base store toolkit activation editor"
  [ipsets]="base store toolkit adapters activation editor ipsets"
  [app]="base store toolkit adapters activation editor ipsets menustyler fileinfo app"
  [tools/netsh-bridge]="base activation tools/netsh-bridge"
)
bad=0
for folder in "${!allowed[@]}"; do
  for file in "$root/$folder"/*.h "$root/$folder"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r target; do
      ok=0
      for prefix in ${allowed[$folder]}; do
        case "$target" in "$prefix"/* | "$prefix") ok=1 ;; esac
      done
      if [ $ok = 0 ]; then
        echo "${file#"$root"/} includes $target, above its layer"
        bad=1
      fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  done
done
[ $bad = 0 ] && echo "Every include points down the layers."
exit $bad
