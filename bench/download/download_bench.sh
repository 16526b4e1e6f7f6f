#!/usr/bin/env bash
# Download figures, ours against peers in the same run, from the loopback
# package server:
#   1. single stream, 1 GiB including the MD5 check:
#        quillon (type 1)  vs  curl -s -o FILE URL && md5sum FILE   (target ratio <= 1.0)
#   2. segmented, 200 MiB, each connection limited to RATE bytes/s:
#        quillon type 3 vs quillon type 1 (target >= 1.9x the rate),
#        vs aria2c -x2 -s2 (target: at least as fast; aria2c + md5sum shown for context,
#        since aria2c does not verify), join <= 5 % of the transfer
#   3. peak memory of the 1 GiB download (target < 32 MiB)
# Medians of RUNS runs, peers and ours interleaved.
#
# usage: download_bench.sh QUILLON_DOWNLOAD_BENCH QUILLON_PACKAGE_SERVER
# environment: RUNS (default 5), BIG_MIB (1024), SEG_MIB (200),
#              RATE (per-connection bytes/s, default 25 MiB/s), BENCH_DIR (work folder parent)
set -euo pipefail

bench=${1:?usage: download_bench.sh QUILLON_DOWNLOAD_BENCH QUILLON_PACKAGE_SERVER}
server=${2:?usage: download_bench.sh QUILLON_DOWNLOAD_BENCH QUILLON_PACKAGE_SERVER}
runs=${RUNS:-5}
big_mib=${BIG_MIB:-1024}
seg_mib=${SEG_MIB:-200}
rate=${RATE:-$((25 * 1024 * 1024))}

for tool in curl md5sum aria2c; do
  command -v "$tool" >/dev/null || { echo "download_bench: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/quillon-dl-bench-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { sort -g | awk '{v[NR]=$1} END {if (NR%2) print v[(NR+1)/2]; else printf "%.3f\n", (v[NR/2]+v[NR/2+1])/2}'; }
field() { awk -v key="$1" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); if (kv[1] == key) print kv[2] } }'; }

# publish NAME MIB: a random package under packages/<md5>/NAME in its own root.
publish() {
  local root=$work/$1 file=$work/$1.src
  head -c "$(($2 * 1024 * 1024))" /dev/urandom >"$file"
  local md5
  md5=$(md5sum "$file" | cut -c1-32)
  mkdir -p "$root/packages/$md5"
  mv "$file" "$root/packages/$md5/$1.bin"
  echo "$md5"
}

# serve NAME [RATE]: starts a server for root NAME; its port lands in NAME.port.
# (Not inside $(...): the server must belong to this shell.)
serve() {
  local args=(--root "$work/$1" --port-file "$work/$1.port")
  [ -n "${2:-}" ] && args+=(--rate "$2")
  "$server" "${args[@]}" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/$1.port" ] && return 0; sleep 0.05; done
  echo "download_bench: the package server did not start" >&2
  exit 1
}

ours() {  # TYPE URL MD5 -> "seconds join_seconds maxrss_kib", wall time of the whole process
  local out=$work/out.bin line t0 t1
  t0=$(now)
  line=$("$bench" "$1" "$2" "$out")
  t1=$(now)
  [ "$(md5sum "$out" | cut -c1-32)" = "$3" ] || { echo "download_bench: wrong package" >&2; exit 1; }
  rm -f "$out"
  echo "$(calc "$t1 - $t0") $(field join_seconds <<<"$line") $(field maxrss_kib <<<"$line")"
}

echo "== preparing ${big_mib} MiB and ${seg_mib} MiB packages in $work"
big_md5=$(publish big "$big_mib")
seg_md5=$(publish seg "$seg_mib")
serve big
serve seg "$rate"
big_url=http://127.0.0.1:$(cat "$work/big.port")/software/277
seg_url=http://127.0.0.1:$(cat "$work/seg.port")/software/277

echo "== 1. single stream, ${big_mib} MiB with MD5 check ($runs runs)"
: >"$work/peer1" && : >"$work/ours1" && : >"$work/rss"
for i in $(seq "$runs"); do
  t0=$(now)
  curl -sL -o "$work/curl.bin" "$big_url"
  sum=$(md5sum "$work/curl.bin" | cut -c1-32)
  t1=$(now)
  [ "$sum" = "$big_md5" ] || { echo "download_bench: curl fetched a wrong package" >&2; exit 1; }
  rm -f "$work/curl.bin"
  peer=$(calc "$t1 - $t0")
  read -r s _ rss <<<"$(ours 1 "$big_url" "$big_md5")"
  echo "$peer" >>"$work/peer1"; echo "$s" >>"$work/ours1"; echo "$rss" >>"$work/rss"
  printf '   run %d: curl+md5sum %.3f s, quillon %.3f s, peak %d KiB\n' "$i" "$peer" "$s" "$rss"
done
peer1=$(median <"$work/peer1"); ours1=$(median <"$work/ours1")

echo "== 2. segmented, ${seg_mib} MiB at $((rate / 1048576)) MiB/s per connection ($runs runs)"
: >"$work/single" && : >"$work/multi" && : >"$work/join" && : >"$work/aria" && : >"$work/ariamd5"
for i in $(seq "$runs"); do
  read -r single _ _ <<<"$(ours 1 "$seg_url" "$seg_md5")"
  read -r multi join _ <<<"$(ours 3 "$seg_url" "$seg_md5")"
  t0=$(now)
  aria2c -q -x2 -s2 --allow-overwrite=true --auto-file-renaming=false --file-allocation=none \
    -d "$work" -o aria.bin "$seg_url"
  t1=$(now)
  [ "$(md5sum "$work/aria.bin" | cut -c1-32)" = "$seg_md5" ] || { echo "download_bench: aria2c fetched a wrong package" >&2; exit 1; }
  t2=$(now)
  rm -f "$work/aria.bin"
  aria=$(calc "$t1 - $t0")
  calc "$t2 - $t0" >>"$work/ariamd5"; echo >>"$work/ariamd5"
  echo "$single" >>"$work/single"; echo "$multi" >>"$work/multi"; echo "$join" >>"$work/join"; echo "$aria" >>"$work/aria"
  printf '   run %d: quillon single %.3f s, quillon segmented %.3f s (join %.3f s), aria2c %.3f s\n' \
    "$i" "$single" "$multi" "$join" "$aria"
done
single=$(median <"$work/single"); multi=$(median <"$work/multi")
join=$(median <"$work/join"); aria=$(median <"$work/aria"); ariamd5=$(median <"$work/ariamd5")
peak=$(sort -n "$work/rss" | tail -1)

echo
echo "== medians of $runs runs"
printf '1. single stream %d MiB: quillon %.3f s, curl+md5sum %.3f s: time ratio %.3f (target <= 1.0)\n' \
  "$big_mib" "$ours1" "$peer1" "$(calc "$ours1 / $peer1")"
printf '2. segmented %d MiB: quillon %.3f s vs single %.3f s: rate ratio %.2f (target >= 1.9)\n' \
  "$seg_mib" "$multi" "$single" "$(calc "$single / $multi")"
printf '   aria2c -x2 -s2 %.3f s: speed ratio quillon/aria2c %.3f (target >= 1.0)\n' \
  "$aria" "$(calc "$aria / $multi")"
printf '   (aria2c does not verify; aria2c + md5sum %.3f s: ratio %.3f)\n' \
  "$ariamd5" "$(calc "$ariamd5 / $multi")"
printf '   join %.3f s = %.1f %% of the transfer (target <= 5 %%)\n' \
  "$join" "$(calc "100 * $join / ($multi - $join)")"
printf '3. peak memory of the %d MiB download: %.1f MiB (target < 32)\n' "$big_mib" "$(calc "$peak / 1024")"
