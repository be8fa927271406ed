#!/usr/bin/env bash
# A photo-list page (32 and 1,000 photos, captions \u-escaped and raw UTF-8) read as the download
# run reads it, beside RapidJSON doing the same work: natively (-O2) and as the Windows build
# under Wine. Installs rapidjson-dev (for this benchmark only) when it is missing. The native build
# is a release build like the Windows one (-DNDEBUG: RapidJSON's assertions cost it a third).
# Usage: bench/json_page.sh [native|wine|both (default)] [photos... (default 32 1000)]
set -euo pipefail
case "${1:-}" in
  -h | --help)
    awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
    exit 0
    ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
PICT_BUILD=${PICT_BUILD:-$root/build}
[[ "$PICT_BUILD" = /* ]] || PICT_BUILD=$PWD/$PICT_BUILD
export PICT_BUILD
if [[ "${PICT_IN_SANDBOX:-}" != 1 ]]; then
  if [[ ! -f /usr/include/rapidjson/document.h ]]; then
    echo "json_page: installing Debian's rapidjson-dev (headers, for this benchmark only)" >&2
    apt-get install -y -q rapidjson-dev >/dev/null || { apt-get update >/dev/null && apt-get install -y -q rapidjson-dev >/dev/null; }
  fi
fi
what=${1:-both}
shift || true
work=$PICT_BUILD/bench
mkdir -p "$work"

if [[ "${PICT_IN_SANDBOX:-}" != 1 && ( $what == native || $what == both ) ]]; then
  mapfile -t srcs < <(ls "$root"/src/text/*.cpp | grep -v '_win\.cpp$')
  clang++ -O2 -DNDEBUG -std=c++20 -Wall -Wextra -Werror -I"$root/src" "${srcs[@]}" "$root/bench/json_page.cpp" \
    -o "$work/json_page_native"
  echo "== native -O2 (clang++), load: $(cat /proc/loadavg)"
  "$work/json_page_native" "$@"
fi
if [[ $what == wine || $what == both ]]; then
  if [[ "${PICT_IN_SANDBOX:-}" != 1 ]]; then
    "$root/scripts/build" bench_json_page >/dev/null || exit 1
    exec "$root/scripts/sandbox" "$0" wine "$@"
  fi
  exe=$PICT_BUILD/win/bench/bench_json_page.exe
  [[ -f "$exe" ]] || { echo "missing $exe (scripts/build bench_json_page)" >&2; exit 1; }
  echo "== Windows build under Wine, load: $(cat /proc/loadavg)"
  (cd / && wine "$exe" "$@" 2>/dev/null | tr -d '\r')
fi
