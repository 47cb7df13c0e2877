#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the radio.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh"
if [ -x "$here/build/src/app/tessrook" ]; then
  exec "$here/build/src/app/tessrook" "$@"
fi
echo "Built, but the program was not: build/src/app/tessrook is missing. What runs today:"
echo "  build/tools/relay/tessrook-relay --listen 127.0.0.1:8787   the relay server"
exit 0
