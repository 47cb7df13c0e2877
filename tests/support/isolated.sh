#!/bin/sh
# Runs one test with settings and data folders of its own, so tests run in parallel never share
# a settings file or a channel store. The sound server and X display stay shared.
d=$(mktemp -d "${TMPDIR:-/tmp}/tessrook-test.XXXXXX") || exit 1
export XDG_CONFIG_HOME="$d/config" XDG_DATA_HOME="$d/data" XDG_CACHE_HOME="$d/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
"$@"
rc=$?
rm -rf "$d"
exit $rc
