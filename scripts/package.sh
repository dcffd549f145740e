#!/usr/bin/env bash
# Builds IPTavixVer2-2.0.5.2-win32.zip: the 32-bit program, ipdbinit.exe, an
# empty DataBase\ipdb.ipdb, the help page and a short text on how to start.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
build_arch i686 -DIPTAVIX_TESTS=OFF -- IPTavixVer2 ipdbinit >/dev/null
# The empty database is made by the 64-bit build of the same tool: the file
# format does not depend on the architecture.
build_arch x86_64 -- ipdbinit >/dev/null

stage="$root/build/package/IPTavixVer2"
rm -rf "$root/build/package" && mkdir -p "$stage/DataBase"
cp "$root"/build/i686/bin/{IPTavixVer2.exe,ipdbinit.exe,helpiptavix.html} "$stage/"
start_wine_session
trap stop_wine_session EXIT
"$WINE" "$root/build/x86_64/bin/ipdbinit.exe" "$(winepath -w "$stage/DataBase/ipdb.ipdb" 2>/dev/null || echo "Z:${stage//\//\\}\\DataBase\\ipdb.ipdb")" >/dev/null
cat >"$stage/README.txt" <<'TXT'
IP Tavix Ver2 2.0.5.2

1. Unzip this folder anywhere you can write to (for example your Documents
   folder). Keep the DataBase folder beside IPTavixVer2.exe: it holds your
   IP sets.
2. Run IPTavixVer2.exe. Windows asks for administrator rights: accept, since
   only an administrator may change network addresses.
3. Add a set with IP Sets > Add New IP Configuration Set, pick it in the tree
   and apply it with IP Sets > Activate the selected IP Set (Ctrl+A).

Help > Help File opens the help page (helpiptavix.html).
If the database is ever lost, ipdbinit.exe creates a new, empty one.
TXT
sed -i 's/$/\r/' "$stage/README.txt"
out="$root/build/IPTavixVer2-2.0.5.2-win32.zip"
rm -f "$out"
(cd "$root/build/package" && zip -qr "$out" IPTavixVer2)
echo "$out"
unzip -l "$out"
