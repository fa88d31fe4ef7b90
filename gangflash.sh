#!/usr/bin/env bash
# Gangflash entry script: installs what is missing, builds, tests, benchmarks and runs the station.
#   ./gangflash.sh test     build and run the test suite
#   ./gangflash.sh run      run the station on eight simulated devices
# Other sub-commands: deps, build, asan, tsan, bench, help.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=${GF_JOBS:-$(nproc)}

PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
          qt6-base-dev libpugixml-dev libudev-dev libcli11-dev
          googletest libgtest-dev libgmock-dev libbenchmark-dev
          fonts-dejavu-core fonts-wqy-microhei xvfb xauth)

deps() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q || true
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# configure_build DIR [cmake args...]
configure_build() {
    local dir=$1; shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
    fi
    cmake --build "$dir" -j "$JOBS"
}

build() { deps; configure_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo; }

run_ctest() {
    local dir=$1; shift
    (cd "$dir" && "$@" ctest --output-on-failure -j "$JOBS" --timeout 300)
}

cmd_test() { build; run_ctest build; }

cmd_asan() {
    deps
    configure_build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_C_COMPILER=clang -DGANGFLASH_SANITIZE=address -DGANGFLASH_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build-asan
}

cmd_tsan() {
    deps
    configure_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_C_COMPILER=clang -DGANGFLASH_SANITIZE=thread -DGANGFLASH_BENCH=OFF
    # ThreadSanitizer of clang 14 cannot map its shadow under the kernel's wide ASLR.
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/tests/sanitizers/tsan.supp" run_ctest build-tsan setarch "$(uname -m)" -R
}

cmd_bench() {
    build
    local status=0
    for b in build/bench/bench_*; do
        [ -x "$b" ] || continue
        echo "== $(basename "$b")"
        "$b" || status=1
    done
    return $status
}

cmd_run() {
    build
    local scratch=$ROOT/scratch/run
    rm -rf "$scratch"; mkdir -p "$scratch"
    cp build/sahara build/firehorse "$scratch"/
    ./build/gangflash --make-sample-package "$scratch/package"
    printf '[SettingItems]\nnDownloadTimeout=20\nbEmergDL=1\nbAutoAll=1\nnOverTimeSeconds=600\n' \
        > "$scratch/GangflashConfig.ini"
    local mode=--headless
    [ -n "${DISPLAY:-}" ] && mode=""
    cd "$scratch"
    GANGFLASH_PASSWORD=739251 XDG_CONFIG_HOME="$scratch/config" \
        "$ROOT/build/gangflash" $mode --simulate 8 --package "$scratch/package/rawprogram0.xml" \
        --auto-all --exit-when-idle "$@"
}

case "${1:-help}" in
    deps) deps ;;
    build) build ;;
    test) cmd_test ;;
    asan) cmd_asan ;;
    tsan) cmd_tsan ;;
    bench) cmd_bench ;;
    run) shift; cmd_run "$@" ;;
    *) sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//' ;;
esac
