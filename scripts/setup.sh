# Shared by every script: installs what is missing (the one place that does), then
# configures and builds. Sourced, not run. Honours KV_BUILD_DIR and KV_CMAKE_ARGS.
set -euo pipefail

KV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KV_BUILD_DIR="${KV_BUILD_DIR:-$KV_ROOT/build}"
KV_PACKAGES=(g++ cmake ninja-build qt6-base-dev libgl-dev)

kv_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

# kv_install_packages PACKAGE...: installs those of them that are missing, with apt-get,
# through sudo when not root.
kv_install_packages() {
    local missing
    missing=$(kv_missing_packages "$@")
    [ -z "$missing" ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: $missing" >&2
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    # shellcheck disable=SC2086
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}

# kv_install [PACKAGE...]: what the build needs, and those.
kv_install() {
    kv_install_packages "${KV_PACKAGES[@]}" "$@"
}

# What the sanitizer runs report and how (the suite under -DKV_SANITIZE=ON, the fuzzers):
# any finding stops the run.
kv_sanitizer_env() {
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
    export LSAN_OPTIONS="suppressions=$KV_ROOT/.ci/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
}

# kv_build [TARGET...]: configures once, then builds the targets named, or everything.
kv_build() {
    if [ ! -f "$KV_BUILD_DIR/CMakeCache.txt" ]; then
        # shellcheck disable=SC2086
        cmake -S "$KV_ROOT" -B "$KV_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KV_CMAKE_ARGS:-}
    fi
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$KV_BUILD_DIR" -j "$(nproc)" "${targets[@]}"
}
