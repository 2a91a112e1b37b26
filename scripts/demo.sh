#!/usr/bin/env bash
# The whole product on one machine, step by step: builds the vesk tool and the reference server, makes a
# workspace in FOLDER (default ~/VeskWorkspaces/Demo) with data sources, datasets, a tree of generic objects
# and properties (one of them secure), serves it with vesk-server on 127.0.0.1, shares it with two users'
# caches (Alice and Bob), lets both change it, shows Bob's store refused because Alice stored first, and
# brings Bob up to date with discard and reload. It leaves FOLDER/workspace.veskdb, the shared result, to
# look at; everything else it made (server folder, caches, its list of servers, the API key) is removed.
#
# Usage: scripts/demo.sh [FOLDER]
# With VESK set to a built vesk binary (vesk-server beside it), the install and build steps are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-"$HOME/VeskWorkspaces/Demo"}

if [ -z "${VESK_DEMO_INNER:-}" ]; then
    vesk=${VESK:-}
    if [ -z "${vesk}" ]; then
        ./scripts/install-deps.sh
        cmake --preset release >/dev/null
        cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target vesk vesk-server
        vesk=$PWD/build/release/bin/vesk
    fi
    # Registering the server stores its API key in a Secret Service. The demo brings its own keyring
    # (and its own list of servers, below), so that yours stay as they are.
    exec env VESK_DEMO_INNER=1 VESK="$(realpath "${vesk}")" ./scripts/with-keyring.sh "$0" "${folder}"
fi

vesk=${VESK}
mkdir -p "${folder}"
folder=$(cd "${folder}" && pwd)
workspace="${folder}/workspace.veskdb"
work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-demo.XXXXXX")
server_pid=
cleanup() {
    if [ -n "${server_pid}" ]; then
        kill "${server_pid}" 2>/dev/null || true
        wait "${server_pid}" 2>/dev/null || true
    fi
    rm -rf "${work}"
}
trap cleanup EXIT
export XDG_DATA_HOME="${work}/data" XDG_CACHE_HOME="${work}/cache"

step() { printf '\n== %s\n' "$*"; }
note() { printf '   %s\n' "$*"; }
# The command line as a user would type it: words with blanks or quotes in single quotes.
print_command() {
    local word line='$ vesk'
    for word in "$@"; do
        if [[ ${word} =~ ^[][A-Za-z0-9_./:=@%+,-]+$ ]]; then
            line+=" ${word}"
        else
            line+=" '${word//\'/\'\\\'\'}'"
        fi
    done
    printf '%s\n' "${line}"
}
# Prints the command, then runs it.
show() {
    print_command "$@"
    "${vesk}" "$@"
}
# As show, for a command whose output (a new UUID) the demo keeps: the command line goes to the demo's
# own standard output (descriptor 3), past the capture.
exec 3>&1
keep() {
    print_command "$@" >&3
    "${vesk}" "$@"
}

step "1. A workspace: two data sources, three datasets, a map as a tree of objects, typed properties"
note "(each command that makes something prints the new UUID, which the demo keeps for the next ones)"
if [ -e "${workspace}" ]; then
    note "(replacing the earlier demo workspace ${workspace})"
    rm -f -- "${workspace}" "${workspace}-journal" "${workspace}-wal" "${workspace}-shm"
fi
cd "${folder}"
note "in ${folder}:"
workspace=workspace.veskdb
show create "${workspace}"
roads=$(keep add-source "${workspace}" Roads --type FilePath --prop Path=/data/roads.gpkg --prop Format=GeoPackage)
keep add-dataset "${workspace}" "${roads}" Motorways --spatial-type Shape \
    --prop Opacity:double=0.8 --prop Visible:bool=true >/dev/null
keep add-dataset "${workspace}" "${roads}" "Road names" --type Table --prop Rows:int=1250 >/dev/null
note "the warehouse password goes in on standard input, never on the command line; it is stored encrypted"
warehouse=$(printf '%s\n' "demo-password-${RANDOM}" |
    keep add-source "${workspace}" Warehouse --type Database \
        --prop Host=db.example.org --prop Port:int=5432 --prop User=reader --secure-prop Password)
keep add-dataset "${workspace}" "${warehouse}" Deliveries --type Table >/dev/null
map=$(keep add-object "${workspace}" "Main map" --type Map --prop "Title=Road network")
legend=$(keep add-object "${workspace}" Legend --type MapElement --parent "${map}" --prop Position=bottom-right)
keep add-object "${workspace}" "Motorways entry" --type LegendEntry --parent "${legend}" >/dev/null
keep add-object "${workspace}" "Scale bar" --type MapElement --parent "${map}" --prop Units=km >/dev/null
show prop set "${workspace}" "${map}" Checked:datetime=2026-12-06T14:30:00Z \
    'Extent:json={"xmin": 5.9, "ymin": 45.8, "xmax": 10.5, "ymax": 47.8}'
show ls "${workspace}"
show check "${workspace}"
uuid=$("${vesk}" info "${workspace}" | sed -n 's/^UUID: *//p')

step "2. A workspace server on 127.0.0.1 that serves it and wants an API key"
cd "${work}"
note "in a temporary folder, ${work}:"
mkdir -p "server/${uuid}"
cp "${folder}/${workspace}" "server/${uuid}/Demo.veskdb"
note "the server's folder holds one folder per workspace, named by its UUID: server/${uuid}/Demo.veskdb"
(umask 077 && head -c 24 /dev/urandom | base64 >server.key)
printf '$ vesk serve --root server --port 0 --port-file server.port --api-key-file server.key &\n'
"${vesk}" serve --root server --port 0 --port-file server.port --api-key-file server.key 2>server.log &
server_pid=$!
for _ in $(seq 100); do
    [ -s server.port ] && break
    kill -0 "${server_pid}" 2>/dev/null || { cat server.log >&2; exit 1; }
    sleep 0.1
done
url="http://127.0.0.1:$(cat server.port)/ws"
note "listening at ${url}"
show remote add demo "${url}" --api-key-stdin <server.key
show remote health demo
show remote workspaces demo

step "3. Alice and Bob each load a copy into a cache of their own"
show sync reload demo "${uuid}" --cache alice
show sync reload demo "${uuid}" --cache bob
alice_copy=$(ls alice/"${uuid}"/Files/*.veskdb)
bob_copy=$(ls bob/"${uuid}"/Files/*.veskdb)

step "4. Alice adds a dataset and stores her copy"
keep add-dataset "${alice_copy}" "${roads}" Bridges --spatial-type Shape --prop Opacity:double=1 >/dev/null
show sync status demo "${uuid}" --cache alice
show sync store demo "${uuid}" --cache alice

step "5. Bob, who has not reloaded, adds a note; his store is refused, because it would overwrite Alice's change"
keep add-object "${bob_copy}" "Bob's note" --type Note --prop "Text=Check the bridges" >/dev/null
show sync status demo "${uuid}" --cache bob
if show sync store demo "${uuid}" --cache bob; then
    echo "demo: Bob's store should have been refused" >&2
    exit 1
fi
note "(refused with exit code 1: nothing on the server was overwritten)"

step "6. Bob throws his change away and reloads: he now has Alice's dataset"
show sync discard demo "${uuid}" --cache bob
show sync reload demo "${uuid}" --cache bob
show ls "${bob_copy}"
digest() { sha256sum "$1" | cut -d' ' -f1; }
if [ "$(digest "${bob_copy}")" != "$(digest "server/${uuid}/Demo.veskdb")" ] ||
    [ "$(digest "${alice_copy}")" != "$(digest "server/${uuid}/Demo.veskdb")" ]; then
    echo "demo: the copies differ from the server's" >&2
    exit 1
fi
note "Alice, Bob and the server now hold the same workspace (SHA-256 $(digest "${bob_copy}"))"

step "7. Done"
kill "${server_pid}" && wait "${server_pid}" 2>/dev/null || true
server_pid=
cp "server/${uuid}/Demo.veskdb" "${folder}/${workspace}"
note "the server is stopped; its folder, both caches, the API key and the demo's list of servers are removed"
note "the shared workspace, with Alice's change, is ${folder}/${workspace}; look at it with:"
note "  ${vesk} ls ${folder}/${workspace}"
note "each step by hand: docs/user-guide.md"
