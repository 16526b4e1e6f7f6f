#!/usr/bin/env bash
# The installer program's benchmarks: first frame, idle CPU on the finished
# page, peak memory of an unattended demo install, each with a peer figure.
# Usage: bench/app/run_app_bench.sh [build-dir] [--runs=N]   (default build/release)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/release}
shift || true
cd "$root"
if [[ $build == "$root/build/release" ]]; then
  "$root/scripts/setup.sh"
  cmake --preset release >/dev/null
else
  cmake -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" --target quillon-app-bench -j "$(nproc)" >/dev/null
bench=$build/bench/app/quillon-app-bench
if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  "$bench" "$@"
else
  xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$bench" "$@"
fi
