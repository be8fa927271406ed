#!/usr/bin/env bash
# Many small pictures from the stand-in: WebSession (a new session per picture, as a download job
# does) beside curl fetching the same addresses in the same run. Runs itself inside the sandbox.
# Usage: bench/web_fetch.sh [count (default 400)] [workers (default 5)]
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
work=$PICT_BUILD/bench
mkdir -p "$work"
list=$work/web_fetch_urls.txt
: >"$list"
for ((i = 0; i < count; i++)); do
  echo "http://wx$((i % 4 + 1)).sinaimg.cn/thumb150/bench_$i.jpg" >>"$list"
done

# Warm the stand-in's picture cache so neither side pays for making the pictures.
curl -s -o /dev/null $(sed 's/^/-o \/dev\/null /' "$list" | tr '\n' ' ') || true
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true

rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0) ? n / s : 0 }'; }
now() { date +%s.%N; }

echo "== $count pictures, stand-in on loopback"
# Wine maps the Unix root to drive Z:, the current drive, so the Unix path of the list works.
ws_out=$(cd / && wine "$exe" "$list" "$workers" 2>/dev/null | tr -d '\r')
echo "$ws_out"
ws_seq=$(sed -n 's/^websession sequential:.*= \([0-9.]*\) req\/s/\1/p' <<<"$ws_out")
ws_par=$(sed -n 's/^websession [0-9]* workers:.*= \([0-9.]*\) req\/s/\1/p' <<<"$ws_out")

# curl, one process per picture (a fresh connection each time, like a fresh WebSession).
t0=$(now)
while read -r url; do curl -s -o /dev/null "$url"; done <"$list"
t1=$(now)
curl_seq=$(rate "$count" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
echo "curl one process per picture: $curl_seq req/s"

# curl, one process for every picture (connections reused): close to what the stand-in can serve.
t0=$(now)
curl -s $(sed 's/^/-o \/dev\/null /' "$list" | tr '\n' ' ') >/dev/null
t1=$(now)
curl_reuse=$(rate "$count" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
echo "curl one process, connections reused: $curl_reuse req/s"

# curl with the same number of parallel transfers as the workers.
t0=$(now)
curl -s -Z --parallel-max "$workers" $(sed 's/^/-o \/dev\/null /' "$list" | tr '\n' ' ') >/dev/null 2>&1
t1=$(now)
curl_par=$(rate "$count" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
echo "curl $workers parallel transfers: $curl_par req/s"

awk -v a="$ws_seq" -v b="$curl_seq" -v c="$ws_par" -v d="$curl_par" -v r="$curl_reuse" 'BEGIN {
  if (b > 0) printf "ratio websession/curl, sequential: %.2f\n", a / b
  if (d > 0) printf "ratio websession/curl, parallel:   %.2f\n", c / d
  if (r > 0 && c / r > 0.8) print "note: WebSession is near what the stand-in serves at best; the stand-in is the bottleneck"
}'
