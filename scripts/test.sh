#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the Debug build, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the thread, task and HTTP tests under
# ThreadSanitizer, and bounded libFuzzer runs of the URL and response-head parsers.
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

run_preset dev
echo "== dev: tests"
ctest --preset dev

echo "== install: a host project finds the library with find_package"
rm -rf build/install-check
cmake --install build/dev --prefix build/install-check/prefix >/dev/null
cmake -S Tests/Install -B build/install-check/host -G Ninja -DCMAKE_PREFIX_PATH="$PWD/build/install-check/prefix" >/dev/null
cmake --build build/install-check/host >/dev/null
mkdir -p build/install-check/Workspaces
[ "$(./build/install-check/host/host build/install-check/Workspaces)" = "Workspaces" ]

run_preset asan
echo "== asan: tests"
ctest --preset asan

if [ -f Tests/Unit/Platform/CMakeLists.txt ]; then
    run_preset tsan --target PlatformTests HttpTests
    echo "== tsan: thread and task tests"
    ctest --preset tsan -L platform
    echo "== tsan: HTTP tests"
    ctest --preset tsan -L http
fi

if [ -f Fuzz/CMakeLists.txt ]; then
    run_preset fuzz --target UrlFuzzer HttpHeadFuzzer
    # A fixed seed and a fixed number of runs make the result the same on every machine.
    echo "== fuzz: URL parser, 300000 runs"
    rm -rf build/fuzz/corpus && mkdir -p build/fuzz/corpus
    ./build/fuzz/bin/UrlFuzzer -seed=1 -runs=300000 -max_total_time=120 -print_final_stats=1 build/fuzz/corpus
    echo "== fuzz: HTTP response-head parser, 300000 runs"
    rm -rf build/fuzz/head-corpus && mkdir -p build/fuzz/head-corpus
    printf 'HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: b\r\n\r\n' >build/fuzz/head-corpus/seed
    ./build/fuzz/bin/HttpHeadFuzzer -seed=1 -runs=300000 -max_total_time=120 -print_final_stats=1 \
        build/fuzz/head-corpus
fi
echo "== all tests passed"
