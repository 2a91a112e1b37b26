#!/usr/bin/env bash
# Installs what is needed, builds the vesk tool and builds a small but real workspace with it in FOLDER
# (default ~/VeskWorkspaces/Demo): two data sources, one with two datasets and one with a secure
# password, and a tree of generic objects; then lists it. Each run starts from a fresh workspace.veskdb
# in FOLDER (an earlier demo workspace there is replaced; nothing else in the folder is touched).
# With VESK set to a built vesk binary, the install and build steps are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-"$HOME/VeskWorkspaces/Demo"}
vesk=${VESK:-}
if [ -z "${vesk}" ]; then
    ./scripts/install-deps.sh
    cmake --preset release >/dev/null
    cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target vesk
    vesk=./build/release/bin/vesk
fi
workspace="${folder}/workspace.veskdb"
mkdir -p "${folder}"
if [ -e "${workspace}" ]; then
    echo "Replacing the demo workspace ${workspace}"
    rm -f -- "${workspace}" "${workspace}-journal" "${workspace}-wal" "${workspace}-shm"
fi
"${vesk}" create "${workspace}"

roads=$("${vesk}" add-source "${workspace}" Roads --type FilePath \
    --prop "Path=${folder}/roads.gpkg" --prop Format=GeoPackage)
"${vesk}" add-dataset "${workspace}" "${roads}" Motorways --spatial-type Shape \
    --prop Opacity:double=0.8 --prop Visible:bool=true >/dev/null
"${vesk}" add-dataset "${workspace}" "${roads}" "Road names" --type Table --prop Rows:int=1250 >/dev/null
# The password goes in on standard input, never on the command line; it is stored encrypted.
printf '%s\n' "demo-password-$RANDOM" | "${vesk}" add-source "${workspace}" Warehouse --type Database \
    --prop Host=db.example.org --prop Port:int=5432 --prop User=reader --secure-prop Password >/dev/null

map=$("${vesk}" add-object "${workspace}" "Main map" --type Map --prop "Title=Road network")
legend=$("${vesk}" add-object "${workspace}" Legend --type MapElement --parent "${map}" --prop Position=bottom-right)
"${vesk}" add-object "${workspace}" "Motorways entry" --type LegendEntry --parent "${legend}" >/dev/null
"${vesk}" add-object "${workspace}" "Scale bar" --type MapElement --parent "${map}" --prop Units=km >/dev/null
"${vesk}" add-object "${workspace}" "Field notes" --type Note --prop "Text=Checked on site" >/dev/null

echo
"${vesk}" ls "${workspace}"
echo
"${vesk}" info "${workspace}"
