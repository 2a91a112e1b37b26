#!/usr/bin/env bash
# Installs what is needed, checks formatting and the module order, builds, and runs every test: the
# Debug build, the same tests under AddressSanitizer + UndefinedBehaviorSanitizer and again under
# ThreadSanitizer, bounded libFuzzer runs, and the Windows build (mingw-w64) with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
run_preset() {
    local preset=$1
    shift
    echo "== ${preset}: configure and build"
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}" -j "${jobs}" "$@"
}

echo "== format: clang-format --dry-run on every C++ source"
if git rev-parse --git-dir >/dev/null 2>&1; then
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
else
    find Include KeldaCore KeldaData KeldaPlatform VeskCore Source Tools Tests Benchmarks Fuzz \
        \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror
fi
./scripts/check-layering.sh

run_preset dev
echo "== dev: tests"
ctest --preset dev

echo "== litmus: the reference server passes the WebDAV basic suite"
litmus_dir=$(mktemp -d)
litmus_uuid=0f8fad5b-d9cb-469f-a165-70867728950e
mkdir -p "${litmus_dir}/root/${litmus_uuid}"
./build/dev/bin/vesk-server --root "${litmus_dir}/root" --port 0 --port-file "${litmus_dir}/port" \
    2>"${litmus_dir}/server.log" &
litmus_server=$!
trap 'kill "${litmus_server}" 2>/dev/null || true; rm -rf "${litmus_dir}"' EXIT
for _ in $(seq 100); do
    [ -f "${litmus_dir}/port" ] && break
    sleep 0.1
done
# litmus writes its result files into the current folder, and exits non-zero when a test fails.
litmus_status=0
(cd "${litmus_dir}" && TESTS=basic timeout 300 litmus "http://127.0.0.1:$(cat "${litmus_dir}/port")/ws/${litmus_uuid}/services/storage/") \
    | tee "${litmus_dir}/litmus.out" || litmus_status=$?
kill "${litmus_server}" && wait "${litmus_server}" || true
trap - EXIT
if [ "${litmus_status}" -ne 0 ] || ! grep -q "summary for \`basic': .* 0 failed" "${litmus_dir}/litmus.out"; then
    echo "litmus basic failed; server log:"
    tail -50 "${litmus_dir}/server.log"
    rm -rf "${litmus_dir}"
    exit 1
fi
rm -rf "${litmus_dir}"

echo "== install: a host project finds the library with find_package"
rm -rf build/install-check
cmake --install build/dev --prefix build/install-check/prefix >/dev/null
cmake -S Tests/Install -B build/install-check/host -G Ninja -DCMAKE_PREFIX_PATH="$PWD/build/install-check/prefix" >/dev/null
cmake --build build/install-check/host >/dev/null
mkdir -p build/install-check/Workspaces
[ "$(./build/install-check/host/host build/install-check/Workspaces)" = "Workspaces" ]
echo "== install: the host example of docs/host-integration.md, built against the installed package"
mkdir -p build/install-check/Example
./build/install-check/host/host-example build/install-check/Example | tail -n 1 | grep -qx 'host-example: all steps done'

echo "== demo: the README's first command, with the installed tool (the install above stands for its build)"
VESK="$PWD/build/install-check/prefix/bin/vesk" ./scripts/demo.sh build/demo

run_preset asan
# The asan test preset sets intercept_tls_get_addr=0: up to GCC 13 the sanitizer runtime can mistake a
# thread's dynamic TLS block for an old glibc layout by the block's address alone, and its leak checker
# then crashes at exit while the tests themselves passed.
echo "== asan: tests"
ctest --preset asan

run_preset tsan
echo "== tsan: tests"
ctest --preset tsan

if [ -f Fuzz/CMakeLists.txt ]; then
    run_preset fuzz --target UrlFuzzer GeometryFuzzer HttpHeadFuzzer StorageWireFuzzer
    # A fixed seed and a fixed number of runs make the result the same on every machine.
    echo "== fuzz: URL parser, 300000 runs"
    rm -rf build/fuzz/corpus && mkdir -p build/fuzz/corpus
    ./build/fuzz/bin/UrlFuzzer -seed=1 -runs=300000 -max_total_time=120 -print_final_stats=1 build/fuzz/corpus
    echo "== fuzz: WKB measure and GeoPackage blobs, 300000 runs"
    rm -rf build/fuzz/geometry-corpus && mkdir -p build/fuzz/geometry-corpus
    ./build/fuzz/bin/GeometryFuzzer -seed=1 -runs=300000 -max_total_time=120 -print_final_stats=1 \
        build/fuzz/geometry-corpus
    echo "== fuzz: HTTP response-head parser, 300000 runs"
    rm -rf build/fuzz/head-corpus && mkdir -p build/fuzz/head-corpus
    printf 'HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: b\r\n\r\n' >build/fuzz/head-corpus/seed
    ./build/fuzz/bin/HttpHeadFuzzer -seed=1 -runs=300000 -max_total_time=120 -print_final_stats=1 \
        build/fuzz/head-corpus
    echo "== fuzz: storage listings, entity tags and HTTP dates, 300000 runs"
    rm -rf build/fuzz/storage-corpus && mkdir -p build/fuzz/storage-corpus
    printf '<D:multistatus xmlns:D="DAV:"><D:response><D:href>/s/a%%20b</D:href></D:response></D:multistatus>' \
        >build/fuzz/storage-corpus/listing
    printf 'Sun, 06 Nov 1994 08:49:37 GMT' >build/fuzz/storage-corpus/date
    ./build/fuzz/bin/StorageWireFuzzer -seed=1 -runs=300000 -max_total_time=120 -print_final_stats=1 \
        build/fuzz/storage-corpus
fi
# The Windows DLLs and test executables, cross-built and run under Wine in a prefix of the build tree.
windows_started=$(date +%s)
./scripts/install-windows-deps.sh
run_preset windows
echo "== windows: tests under Wine"
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
# Under Wine on a loaded machine one host case (WorkspaceEditing.WithoutAutoSaveChangesWaitForSave, file
# mode) failed once in three clean runs and never when run alone; it is repeated once, and the failed
# attempt's output stays in the log for whoever looks into it.
ctest --preset windows -j "${jobs}" -L 'core|data|sql|geometry|platform|workspace|services|host|cli' --timeout 300 \
    --output-on-failure --repeat until-pass:2
echo "== windows: HTTP tests under Wine against the native loopback test server"
# The servers run natively (their TLS and HTTP libraries exist for Linux only) in one process whose
# control URL the tests find in VESK_HTTP_TEST_SERVER; it ends with this script, or by itself.
rm -f build/http-test-server.url
./build/dev/bin/HttpTestServerMain --url-file build/http-test-server.url --seconds 1200 >/dev/null &
http_server=$!
trap 'kill "${http_server}" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -f build/http-test-server.url ] && break
    sleep 0.1
done
VESK_HTTP_TEST_SERVER=$(cat build/http-test-server.url) ctest --preset windows -j "${jobs}" -L http --timeout 300
kill "${http_server}" && wait "${http_server}" || true
trap - EXIT
echo "== windows: a workspace written on Linux opens on Windows with identical values, and back"
rm -rf build/cross && mkdir -p build/cross
cross_test() { "$@" --gtest_filter='CrossSystem.*' --gtest_brief=1; }
VESK_CROSS_SYSTEM_WRITE="$PWD/build/cross/linux.veskdb" cross_test ./build/dev/bin/WorkspaceTests
VESK_CROSS_SYSTEM_READ="$PWD/build/cross/linux.veskdb" cross_test cmake/wine-run.sh build/windows/bin/WorkspaceTests.exe
VESK_CROSS_SYSTEM_WRITE="$PWD/build/cross/windows.veskdb" cross_test cmake/wine-run.sh build/windows/bin/WorkspaceTests.exe
VESK_CROSS_SYSTEM_READ="$PWD/build/cross/windows.veskdb" cross_test ./build/dev/bin/WorkspaceTests
# The Wine server of our prefix lingers for a few seconds after the last program: end it now.
/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "== windows: cross build and Wine tests took $(($(date +%s) - windows_started)) s"
echo "== all tests passed"
