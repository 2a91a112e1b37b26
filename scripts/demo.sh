#!/usr/bin/env bash
# Installs what is needed, builds, and runs the vesk tool: creates a workspace in FOLDER (default
# ~/VeskWorkspaces/Demo) and prints what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-"$HOME/VeskWorkspaces/Demo"}
./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target vesk
mkdir -p "${folder}"
./build/release/bin/vesk create "${folder}/workspace.veskdb"
./build/release/bin/vesk info "${folder}/workspace.veskdb"
