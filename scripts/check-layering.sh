#!/usr/bin/env bash
# Fails when a module includes a header of a module above it, or when portable code asks which
# operating system it runs on. The order, lowest first (README, "Layout"):
#   Include/Vesk < KeldaCore base < KeldaData, KeldaShapes < KeldaCore < KeldaPlatform < VeskCore < Source < Tools
set -uo pipefail
cd "$(dirname "$0")/.."

status=0
# forbid WHAT PATTERN PATH...: reports every line under PATH that matches PATTERN.
forbid() {
    local what=$1 pattern=$2
    shift 2
    local hits
    hits=$(grep -rnE --include='*.h' --include='*.cpp' "$pattern" "$@" 2>/dev/null)
    if [ -n "$hits" ]; then
        printf '%s:\n%s\n' "$what" "$hits"
        status=1
    fi
}

upper_core='Core/(Log|Fatal|Variant|DataObjects|TableAccess|IAppLogger|IConsole)\.h'
base_core=(KeldaCore/Source/Base KeldaCore/Include/Core/{Object,Ptr,ErrorCode,Guard,StringFormat,TypeName}.h)

forbid "The public headers include only public headers" '#include "(Core|Platform|Private)/' Include
forbid "The KeldaCore base includes only public headers and itself" "#include \"(Platform/|Private/|${upper_core})" \
    "${base_core[@]}"
forbid "KeldaData and KeldaShapes sit below the log front end and the platform layer" \
    "#include \"(Platform/|Private/|${upper_core})" KeldaData KeldaShapes
forbid "KeldaCore sits below the platform layer" '#include "(Platform|Private)/' KeldaCore
forbid "The platform layer sits below the workspace library" '#include "Private/' KeldaPlatform
forbid "Vesk.Core sits below the workspace library" '#include "Private/' VeskCore
forbid "Only the platform backends ask which system they run on" \
    '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*(__linux__|__unix__|__APPLE__|_WIN32|_MSC_VER)' \
    KeldaCore KeldaData KeldaShapes KeldaPlatform/Include KeldaPlatform/Source/Common VeskCore Source Tools
# The reference server (a Linux-only executable) keeps its system calls in its one PosixSystem.cpp.
forbid "Only the platform backends include system headers" \
    '#include <(unistd|dlfcn|pthread|fcntl|windows|winhttp|curl/curl|libsecret/secret|sys/[a-z]+)\.h>' \
    KeldaCore KeldaData KeldaShapes KeldaPlatform/Include KeldaPlatform/Source/Common VeskCore Source \
    $(find Tools -name '*.h' -o -name '*.cpp' | grep -v '^Tools/vesk-server/PosixSystem\.cpp$')

[ "$status" -eq 0 ] && echo "layering: every include points down the module order"
exit "$status"
