#!/usr/bin/env bash
# Runs one fuzzer over its committed corpus, deterministically and bounded, without writing into it.
# Usage: run-regression.sh FUZZER CORPUSDIR
set -euo pipefail
fuzzer=$1
corpus=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Qt is not instrumented, so its allocations look like leaks to the sanitizer.
export ASAN_OPTIONS=detect_leaks=0
# New inputs go to the scratch folder (the first one); the committed corpus is only read.
exec "$fuzzer" -seed=1 -runs=100000 -max_total_time=20 -timeout=10 -artifact_prefix="$work/" \
  "$work" "$corpus"
