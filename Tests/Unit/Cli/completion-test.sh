#!/usr/bin/env bash
# Bash completion of the built tool: commands, subcommands, a command's options, and files.
# Usage: completion-test.sh VESK COMPLETION_SCRIPT
set -euo pipefail
vesk=$1
. "$2"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/roads.veskdb"

complete_words() {
    COMP_WORDS=("$vesk" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _vesk
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

expect() {
    local got
    got=$(complete_words "${@:2}")
    if [ "$got" != "$1" ]; then
        echo "completing '${*:2}': expected '$1', got '$got'" >&2
        exit 1
    fi
}

expect "remote rm " r
expect "--help --version " --
expect "reload " sync re
expect "status store " sync s
expect "--cache --json " sync store x y --
expect "--json --parent --prop --secure-prop --type " add-object ws name --
expect "$folder/roads.veskdb " info "$folder/ro"
echo "bash completion: all cases pass"
