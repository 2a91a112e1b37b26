#!/usr/bin/env bash
# Installs everything needed to build, test and run Vesk Workspace on Debian 12.
# Non-interactive; run as root (or through sudo).
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    exec sudo -E bash "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
packages=(
    build-essential cmake ninja-build pkg-config git
    libsqlite3-dev sqlite3 libsqlite3-mod-spatialite
    rapidjson-dev libpugixml-dev libssl-dev libfmt-dev
    libcurl4-openssl-dev curl libsecret-1-dev libcpp-httplib-dev zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    dbus gnome-keyring libsecret-tools
    clang-14 libclang-rt-14-dev clang-format
    litmus
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
