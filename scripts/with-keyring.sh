#!/usr/bin/env bash
# Runs a command beside a private, unlocked GNOME Keyring: a session bus of its own (dbus-run-session),
# the keyring daemon's Secret Service on it, and the daemon's files in a temporary folder that goes
# when the command ends. Works without a desktop and as root, as in CI.
# Usage: scripts/with-keyring.sh COMMAND [ARGUMENTS...]
set -euo pipefail
if [ "$#" -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGUMENTS...]" >&2
    exit 2
fi

if [ -z "${VESK_KEYRING_INNER:-}" ]; then
    keyring_home=$(mktemp -d "${TMPDIR:-/tmp}/vesk-keyring.XXXXXX")
    trap 'rm -rf "$keyring_home"' EXIT
    mkdir -m 700 -p "$keyring_home/runtime" "$keyring_home/data"
    status=0
    # As root, the bus daemon says on every start that it may not raise its descriptor limit; that
    # is harmless, and only that line is held back.
    VESK_KEYRING_INNER=1 VESK_KEYRING_HOME="$keyring_home" dbus-run-session -- "$0" "$@" \
        2> >(grep --line-buffered -v 'Failed to set fd limit' >&2) || status=$?
    exit "$status"
fi

# Inside the private session bus. The daemon keeps its keyrings under its own data folder; the command
# keeps the caller's environment, so that a test's own XDG_DATA_HOME is not disturbed.
daemon_env=(env "HOME=$VESK_KEYRING_HOME" "XDG_DATA_HOME=$VESK_KEYRING_HOME/data"
            "XDG_RUNTIME_DIR=$VESK_KEYRING_HOME/runtime")
# --unlock reads the login password from standard input and creates the login keyring (the default
# collection) unlocked; the daemon forks and prints any variables that clients need.
daemon_output=$(printf '%s' "vesk-test-password" |
    "${daemon_env[@]}" gnome-keyring-daemon --daemonize --unlock --components=secrets)
while IFS= read -r line; do
    case "$line" in
        *=*) export "${line?}" ;;
    esac
done <<< "$daemon_output"
unset VESK_KEYRING_INNER VESK_KEYRING_HOME
# The daemon leaves by itself when dbus-run-session ends the bus after the command.
exec "$@"
