#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the Debug build, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the thread and task tests under ThreadSanitizer,
# and a bounded libFuzzer run of the URL parser.
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

run_preset asan
echo "== asan: tests"
ctest --preset asan

if [ -f Tests/Unit/Platform/CMakeLists.txt ]; then
    run_preset tsan --target PlatformTests
    echo "== tsan: thread and task tests"
    ctest --preset tsan -L platform
fi

if [ -f Fuzz/CMakeLists.txt ]; then
    run_preset fuzz
    echo "== fuzz: URL parser, 30 seconds"
    mkdir -p build/fuzz/corpus
    ./build/fuzz/bin/UrlFuzzer -max_total_time=30 -print_final_stats=1 build/fuzz/corpus
fi
echo "== all tests passed"
