# Shared settings for scripts that build or run the program. Source it; it sets ROOT and BUILD.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# Absolute, whatever the caller gave: Wine refuses a relative prefix, and the sandbox and the
# benchmarks hand the folder on to programs that run elsewhere.
BUILD=$(realpath -m "${PICT_BUILD:-$ROOT/build}")
[[ -z "${PICT_BUILD:-}" ]] || export PICT_BUILD=$BUILD
export WINEPREFIX=$BUILD/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
export LANG=${LANG_OVERRIDE:-C.UTF-8}
export LC_ALL=$LANG
JOBS=$(nproc)
# A compiler cache, when the machine has one, makes rebuilds and sibling checkouts cheap; paths
# under the parent folder hash relatively, so two checkouts share their entries.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$ROOT")}
  LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# Configures both trees (the native sanitizer build and the Windows cross build) and builds
# each unless the first argument is --configure-only (enough for listing the tests).
pict_build() {
  cmake -S "$ROOT" -B "$BUILD/native" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${LAUNCHER[@]}" >/dev/null
  [[ "${1:-}" == --configure-only ]] || cmake --build "$BUILD/native" -j"$JOBS"
  cmake -S "$ROOT" -B "$BUILD/win" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DPICT_NATIVE_DIR="$BUILD/native" "${LAUNCHER[@]}" >/dev/null
  [[ "${1:-}" == --configure-only ]] || cmake --build "$BUILD/win" -j"$JOBS"
}
