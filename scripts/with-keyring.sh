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
    VESK_KEYRING_INNER=1 VESK_KEYRING_HOME="$keyring_home" dbus-run-session -- "$0" "$@" || status=$?
    exit "$status"
fi

# Inside the private session bus. The daemon keeps its keyrings under its own data folder; the command
# keeps the caller's environment, so that a test's own XDG_DATA_HOME is not disturbed.
daemon_env=(env "HOME=$VESK_KEYRING_HOME" "XDG_DATA_HOME=$VESK_KEYRING_HOME/data"
            "XDG_RUNTIME_DIR=$VESK_KEYRING_HOME/runtime")
# --unlock reads the login password from standard input and creates the login keyring unlocked; the
# daemon forks and prints the variables that clients need.
daemon_output=$(printf '%s' "vesk-test-password" |
    "${daemon_env[@]}" gnome-keyring-daemon --daemonize --unlock --components=secrets)
while IFS= read -r line; do
    case "$line" in
        *=*) export "${line?}" ;;
    esac
done <<< "$daemon_output"
unset VESK_KEYRING_INNER VESK_KEYRING_HOME
daemon_pid="${GNOME_KEYRING_PID:-}"
status=0
"$@" || status=$?
if [ -n "$daemon_pid" ]; then
    kill "$daemon_pid" 2>/dev/null || true
fi
exit "$status"
