#!/usr/bin/env bash
# A whole album download under load: Pictalon fetches the bench scenario's album of 1,000 photos
# while the stand-in answers each picture late; prints the run's time beside the limit of five
# workers and beside curl with five parallel transfers, the window thread's responsiveness and
# the program's peak memory. Builds what it needs, then runs itself inside the sandbox.
# Usage: bench/download.sh [latency ms per picture (default 40)] [album caption (default 一千张)]
#                          [picture size in KiB (default 0: the stand-in's own small pictures)]
#                          [runs of the same album in one process (default 1)]
#                          [--account OWNER: 下载全部相册 over that owner's albums instead]
#                          [--update: fill the album first, untimed, then time a run again]
#                          [--newer N: with --update, N new photos at the newest end first]
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
  "$root/scripts/build" Pictalon pictalon_driver bench_ui_probe bench_web_fetch >/dev/null || exit 1
  exec "$root/scripts/sandbox" "$0" "$@"
fi
latency=${1:-40}
album=${2:-一千张}
picture_kib=${3:-0}
runs=${4:-1}
work=$PICT_BUILD/bench/download
mkdir -p "$work"
export PICT_WIN_BUILD=$PICT_BUILD/win
started=$(date +%s)
status=0
python3 "$root/bench/download_bench.py" --work "$work" --latency-ms "$latency" --album "$album" \
  --picture-kib "$picture_kib" --runs "$runs" "${@:5}" ||
  status=$?
echo "(whole benchmark: $(($(date +%s) - started)) s)"
exit "$status"
