#!/usr/bin/env bash
# Runs the installer on the built-in demo. Until the installer program exists
# this builds the release preset and runs what exists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
echo "demo: built $(ls build/release/*/*.a 2>/dev/null | wc -l) libraries"
