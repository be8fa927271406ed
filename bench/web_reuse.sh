#!/usr/bin/env bash
# A download worker's pictures from one picture host: a new WebSession per picture against one
# WebSession per worker kept for all of them, over http and https. Prints requests per second and
# the connections the stand-in saw (one TCP, and for https one TLS, handshake each).
# Usage: bench/web_reuse.sh [count (default 400)] [workers (default 5)]
set -euo pipefail
case "${1:-}" in
  -h | --help)
    awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
    exit 0
    ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
export PICT_BUILD=${PICT_BUILD:-$root/build}
if [[ "${PICT_IN_SANDBOX:-}" != 1 ]]; then
  "$root/scripts/build" bench_web_fetch >/dev/null || exit 1
  exec "$root/scripts/sandbox" "$0" "$@"
fi
count=${1:-400}
workers=${2:-5}
exe=$PICT_BUILD/win/bench/bench_web_fetch.exe
[[ -f "$exe" ]] || { echo "missing $exe (scripts/build bench_web_fetch)" >&2; exit 1; }
ctl=(python3 "$root/tests/sandbox/standin_ctl.py")
work=$PICT_BUILD/bench
mkdir -p "$work"
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true

echo "== $count pictures from wx1.sinaimg.cn, $workers workers, stand-in on loopback"
echo "   (load average $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores)"
for scheme in http https; do
  list=$work/web_reuse_$scheme.txt
  : >"$list"
  for ((i = 0; i < count; i++)); do echo "$scheme://wx1.sinaimg.cn/thumb150/reuse_$i.jpg" >>"$list"; done
  # Warm the stand-in's picture cache so neither side pays for making the pictures.
  curl -s $(sed 's/^/-o \/dev\/null /' "$list" | tr '\n' ' ') >/dev/null || true
  for mode in new reused; do
    "${ctl[@]}" clear-log >/dev/null
    out=$(cd / && wine "$exe" "$list" "$workers" "$mode" 2>/dev/null | tr -d '\r')
    connections=$("${ctl[@]}" log wx1.sinaimg.cn |
      python3 -c 'import json, sys; r = json.load(sys.stdin); print(len(r), len({e["conn"] for e in r}))')
    echo "$scheme, session $mode:"
    sed 's/^/  /' <<<"$out"
    echo "  requests / connections the stand-in saw: ${connections/ / \/ }"
  done
done
