#!/bin/sh
# Installs the build into a fresh prefix and checks that a user finds everything where the desktop
# looks: both programs in bin/ (and they run from there), the desktop entry, the icon.
set -eu
build=${1:?usage: install_check.sh BUILD_DIR}
prefix=$(mktemp -d "${TMPDIR:-/tmp}/tessrook-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "FAIL: $*"; exit 1; }
for f in bin/tessrook bin/tessrook-relay; do
  [ -x "$prefix/$f" ] || fail "$f missing or not executable"
done
entry="$prefix/share/applications/qmrl-tessrook.desktop"
icon="$prefix/share/icons/hicolor/scalable/apps/qmrl-tessrook.svg"
[ -f "$entry" ] || fail "desktop entry missing"
[ -s "$icon" ] || fail "icon missing"
# The entry starts the program by name from the PATH and names the installed icon.
grep -qx 'Exec=tessrook %u' "$entry" || fail "desktop entry does not start tessrook from the PATH"
grep -qx 'Icon=qmrl-tessrook' "$entry" || fail "desktop entry does not name the installed icon"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry" || fail "desktop entry invalid"; fi
# The installed copies run without the build tree.
PATH="$prefix/bin:$PATH"
tessrook --link-test | grep -q -- '--link-test ROLE' || fail "installed tessrook does not run"
tessrook-relay --help | grep -q -- '--listen' || fail "installed tessrook-relay does not run"
echo "PASS: installed into $prefix"
