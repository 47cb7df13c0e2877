#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the radio's window. On the way it registers
# the built program as this user's handler of invite links ("qmtalk:"), so a clicked invite reaches it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh"
bin="$here/build/src/app/tessrook"

# A per-user desktop entry pointing at this build; rewritten only when it changes.
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$apps"
entry="$apps/qmrl-tessrook.desktop"
tmp=$(mktemp)
# The path is quoted only when it must be: xdg-open's fallback cannot run a quoted program.
exec_path="$bin"
case "$bin" in *[[:space:]]*) exec_path="\"$bin\"" ;; esac
sed "s|^Exec=.*|Exec=$exec_path %u|; s|^Icon=.*|Icon=$here/src/app/icons/qmrl-tessrook.svg|" \
  "$here/src/app/qmrl-tessrook.desktop" > "$tmp"
if ! cmp -s "$tmp" "$entry" 2>/dev/null; then
  mv "$tmp" "$entry"
  command -v update-desktop-database >/dev/null && update-desktop-database -q "$apps" || true
else
  rm -f "$tmp"
fi
if command -v xdg-mime >/dev/null && [ "$(xdg-mime query default x-scheme-handler/qmtalk 2>/dev/null)" != "qmrl-tessrook.desktop" ]; then
  xdg-mime default qmrl-tessrook.desktop x-scheme-handler/qmtalk || true
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Built. There is no display here (DISPLAY is not set), so the window cannot open."
  echo "Start it from a desktop session: $bin"
  exit 1
fi
exec "$bin" "$@"
