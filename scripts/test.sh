#!/usr/bin/env bash
# The whole test suite: installs missing packages, configures, builds and runs
# every test. Usage: scripts/test.sh [preset] [extra ctest args]  (default preset: asan)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-asan}
shift || true
"$root/scripts/setup.sh"
cd "$root"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp ${TSAN_OPTIONS:-}"
ctest --preset "$preset" -j "$(nproc)" "$@"
