#!/usr/bin/env bash
# Runs the installer on the built-in demo: builds the release preset, starts
# the loopback package server (serving the published demo package behind the
# redirect of /software/277) and the analytics collector, and installs the
# demo product into a throw-away home under build/. In a window when a display
# is available, otherwise unattended with a progress bar.
#
# Usage: scripts/demo.sh [--silent]   (--silent: unattended even with a display)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=auto
case "${1:-}" in
  --silent) mode=silent ;;
  "") ;;
  *) echo "usage: $0 [--silent]" >&2; exit 2 ;;
esac

"$root/scripts/setup.sh"
cd "$root"
cmake --preset release >/dev/null
# Only what the demo runs: the installer, the demo package and the two servers.
cmake --build --preset release -j "$(nproc)" --target quillon-installer quillon_demo_package \
  quillon-package-server quillon_collector_app

build=$root/build/release
installer=$build/app/quillon-installer
server=$build/tools/package_server/quillon-package-server
collector=$build/tools/collector/quillon-collector
package=$(ls "$build"/tools/demo_package/Quillon_*.exe 2>/dev/null | head -n 1 || true)
for f in "$installer" "$server" "$collector" "$package"; do
  [[ -n $f && -x $f || -f $f ]] || { echo "demo: missing $f" >&2; exit 1; }
done

# A throw-away home: every per-user file of the installer, the product and
# the analytics state lands here.
demo=$root/build/demo
home=$demo/home
rm -rf "$demo"
mkdir -p "$home" "$demo/site" "$demo/run"
chmod 700 "$demo/run"
"$root/tools/demo_package/publish_package.sh" "$package" "$demo/site" >/dev/null

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

wait_for_file() {  # FILE: waits up to 10 s for a non-empty file
  for _ in $(seq 100); do [[ -s $1 ]] && return 0; sleep 0.1; done
  echo "demo: $1 did not appear" >&2
  return 1
}

"$server" --root "$demo/site" --port-file "$demo/server.port" >"$demo/server.log" 2>&1 &
pids+=($!)
"$collector" --port-file "$demo/collector.port" --events "$demo/events.jsonl" \
  >"$demo/collector.log" 2>&1 &
pids+=($!)
wait_for_file "$demo/server.port"
wait_for_file "$demo/collector.port"
server_port=$(cat "$demo/server.port")
collector_port=$(cat "$demo/collector.port")
download_url=http://127.0.0.1:$server_port/software/277

export HOME=$home
export XDG_CONFIG_HOME=$home/.config
export XDG_DATA_HOME=$home/.local/share
export XDG_CACHE_HOME=$home/.cache
export XDG_RUNTIME_DIR=$demo/run
export TMPDIR=$demo/run
export APPDATA=$XDG_DATA_HOME
export QUILLON_ANALYTICS_URL="http://127.0.0.1:$collector_port/collect?project=pc"
unset DO_NOT_TRACK

if [[ $mode == auto && -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  mode=window
fi
echo "demo: package server on port $server_port, analytics collector on port $collector_port"
status=0
if [[ $mode == window ]]; then
  echo "demo: the installer window is open on $DISPLAY; press 立即安装, then 立即体验 or close it"
  "$installer" "-downloadurl=$download_url" 2>"$demo/installer.log" || status=$?
else
  echo "demo: no display; installing unattended"
  # Standard error stays on the terminal: the progress bar draws there.
  "$installer" -silent=true "-downloadurl=$download_url" || status=$?
fi

product=$(find "$home" -name Vantrel.exe -type f -printf '%h\n' 2>/dev/null | head -n 1)
# The last events are uploaded as the installer exits; give the collector a moment.
sleep 0.5
events=0
[[ -f $demo/events.jsonl ]] && events=$(wc -l <"$demo/events.jsonl")
echo "demo: installer exit status $status"
if [[ -n $product ]]; then
  echo "demo: the product went to $product"
  ls "$product"
else
  echo "demo: the product was not installed (see the messages above and $demo/)"
fi
echo "demo: the analytics collector received $events events ($demo/events.jsonl)"
