#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and AddressSanitizer into a separate folder.
# Usage: build-fuzz.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/build/fuzz-bin}
[ -f "$here/fuzz/CMakeLists.txt" ] || exit 0
jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$here/fuzz" -B "$here/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DFUZZ_OUT="$out" "${launcher[@]}" >/dev/null
cmake --build "$here/build-fuzz" -j "$jobs"
