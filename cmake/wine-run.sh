#!/usr/bin/env bash
# Runs a Windows executable of the cross build under Wine: quietly, in a Wine prefix of the build
# tree (made on first use) unless WINEPREFIX names another, with the folder of the executable first
# on the DLL search path.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${here}/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
exec "${wine}" "$@"
