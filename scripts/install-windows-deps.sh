#!/usr/bin/env bash
# Installs the mingw-w64 cross compiler and Wine, and builds the Windows libraries that Debian ships
# only as sources into build/windows-deps/prefix, for the `windows` preset:
#   SQLite   from Debian's sqlite3 source package, the same version as the Linux build's libsqlite3
#            (its amalgamation is made with the package's own tool, then cross-compiled);
#   pugixml  from Debian's pugixml source package, cross-compiled with CMake;
#   GoogleTest from the sources Debian's googletest package installs in /usr/src/googletest;
#   fmt and RapidJSON as headers from libfmt-dev and rapidjson-dev (fmt used header-only);
#   libgcrypt as Debian's ready Windows build (libgcrypt-mingw-w64-dev).
# Each result is kept with a stamp naming its version, so a second run does nothing.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    exec sudo -E bash "$0" "$@"
fi
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

packages=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    libgcrypt-mingw-w64-dev wine64 dpkg-dev tcl googletest libfmt-dev rapidjson-dev
    cmake ninja-build libsqlite3-dev
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# Debian's source packages: the Linux build's SQLite and pugixml, of the very versions installed.
# The source entries copy the machine's own binary entries, so that sources come from wherever its
# packages come from.
sources_list=/etc/apt/sources.list.d/vesk-deb-src
need_update=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -rqs '^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    entries=$(mktemp)
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "${file}" ] || continue
        sed 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "${file}"
        echo
    done >"${entries}"
    mv "${entries}" "${sources_list}.sources"
    chmod 644 "${sources_list}.sources"
    lines=$(grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | sed 's/^deb /deb-src /' || true)
    if [ -n "${lines}" ]; then
        printf '%s\n' "${lines}" >"${sources_list}.list"
    fi
    need_update=1
fi
if [ "${#missing[@]}" -gt 0 ] || [ "${need_update}" -eq 1 ]; then
    apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

deps=$PWD/build/windows-deps
prefix=${deps}/prefix
toolchain=$PWD/cmake/toolchains/mingw-w64-x86_64.cmake
mkdir -p "${deps}/src" "${prefix}/include" "${prefix}/lib" "${prefix}/bin"
jobs=$(nproc 2>/dev/null || echo 2)

# fetch SOURCE VERSION: unpacks Debian's source package (with its patches) under build/windows-deps/src.
fetch() {
    local source=$1 version=$2
    local upstream=${version%-*}
    upstream=${upstream#*:}
    local folder=${deps}/src/${source}-${upstream}
    if [ ! -d "${folder}" ]; then
        (cd "${deps}/src" && apt-get source -qq "${source}=${version}" >/dev/null 2>&1) || {
            echo "apt-get source ${source}=${version} failed" >&2
            exit 1
        }
    fi
    echo "${folder}"
}

installed_version() { dpkg-query -W -f='${source:Version}' "$1"; }

# SQLite: the amalgamation of the same sources as the Linux library, with Debian's compile options.
sqlite_version=$(installed_version libsqlite3-dev)
if [ "$(cat "${prefix}/.sqlite" 2>/dev/null)" != "${sqlite_version}" ]; then
    src=$(fetch sqlite3 "${sqlite_version}")
    build=${deps}/sqlite-build
    rm -rf "${build}" && mkdir -p "${build}"
    (cd "${build}" && "${src}/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
    cp "${build}/sqlite3.h" "${src}/src/sqlite3ext.h" "${prefix}/include/" 2>/dev/null || cp "${build}/sqlite3.h" "${prefix}/include/"
    x86_64-w64-mingw32-gcc-posix -O2 -c "${build}/sqlite3.c" -o "${build}/sqlite3.o" -I"${build}" \
        -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS3_PARENTHESIS \
        -DSQLITE_ENABLE_FTS4 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE -DSQLITE_ENABLE_GEOPOLY \
        -DSQLITE_ENABLE_DBSTAT_VTAB -DSQLITE_ENABLE_MATH_FUNCTIONS -DSQLITE_ENABLE_UNLOCK_NOTIFY \
        -DSQLITE_SECURE_DELETE -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_MAX_VARIABLE_NUMBER=250000
    rm -f "${prefix}/lib/libsqlite3.a"
    x86_64-w64-mingw32-ar rcs "${prefix}/lib/libsqlite3.a" "${build}/sqlite3.o"
    echo "${sqlite_version}" >"${prefix}/.sqlite"
fi

# pugixml: Debian's source package, built static.
pugixml_version=$(installed_version libpugixml-dev)
if [ "$(cat "${prefix}/.pugixml" 2>/dev/null)" != "${pugixml_version}" ]; then
    src=$(fetch pugixml "${pugixml_version}")
    rm -rf "${deps}/pugixml-build"
    cmake -S "${src}" -B "${deps}/pugixml-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="${toolchain}" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF \
        -DCMAKE_INSTALL_PREFIX="${prefix}" >/dev/null
    cmake --build "${deps}/pugixml-build" -j "${jobs}" >/dev/null
    cmake --install "${deps}/pugixml-build" >/dev/null
    echo "${pugixml_version}" >"${prefix}/.pugixml"
fi

# GoogleTest and GoogleMock from the sources of Debian's googletest package.
gtest_version=$(installed_version googletest)
if [ "$(cat "${prefix}/.googletest" 2>/dev/null)" != "${gtest_version}" ]; then
    rm -rf "${deps}/googletest-build"
    cmake -S /usr/src/googletest -B "${deps}/googletest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="${toolchain}" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF \
        -DCMAKE_INSTALL_PREFIX="${prefix}" >/dev/null
    cmake --build "${deps}/googletest-build" -j "${jobs}" >/dev/null
    cmake --install "${deps}/googletest-build" >/dev/null
    echo "${gtest_version}" >"${prefix}/.googletest"
fi

# Header-only libraries: the headers of the Linux packages.
headers_version="$(installed_version libfmt-dev) $(installed_version rapidjson-dev)"
if [ "$(cat "${prefix}/.headers" 2>/dev/null)" != "${headers_version}" ]; then
    rm -rf "${prefix}/include/fmt" "${prefix}/include/rapidjson"
    cp -r /usr/include/fmt /usr/include/rapidjson "${prefix}/include/"
    echo "${headers_version}" >"${prefix}/.headers"
fi

# The run-time libraries the Windows executables need beside them under Wine.
for dll in /usr/x86_64-w64-mingw32/bin/libgcrypt-20.dll /usr/x86_64-w64-mingw32/bin/libgpg-error-0.dll \
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll \
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll; do
    [ -f "${dll}" ] && cp -u "${dll}" "${prefix}/bin/"
done
echo "windows deps: ${prefix}"
