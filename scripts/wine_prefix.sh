#!/usr/bin/env bash
# wine_prefix.sh -- makes a fresh Wine prefix for a Windows build tree and keeps a warm
# wineserver running for it, or stops that server.
#   scripts/wine_prefix.sh BUILD_DIR start    fresh prefix, persistent server, warmed up
#   scripts/wine_prefix.sh BUILD_DIR version V   the Windows version the prefix reports to the
#                                                programs started after it (win95, winxp, ...)
#   scripts/wine_prefix.sh BUILD_DIR stop     stops the server
set -euo pipefail

build_dir=$1
action=${2:-start}
env_file="$build_dir/wine/wine-env.sh"
if [ ! -f "$env_file" ]; then
    echo "wine_prefix.sh: $build_dir is not a configured Windows build tree" >&2
    exit 1
fi
# shellcheck source=/dev/null
. "$env_file"

case "$action" in
start)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$HOME"
    mkdir -p "$HOME" "$(dirname "$WINEPREFIX")"
    "$TRV_WINE_LOADER" wineboot -i </dev/null >/dev/null 2>&1
    # Wine's own fonts (Debian's fonts-wine), Marlett among them, which draws the title bars'
    # buttons: bookworm's Wine looks for them under a path it cannot open, but finds them in the
    # prefix's Windows fonts folder, as Windows keeps them.
    for font in /usr/share/wine/fonts/*.ttf; do
        [ -e "$font" ] && ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
    done
    # Drive D:, a CD-ROM drive for the install from a read-only medium, is known to the prefix
    # before its server starts; the e2e tests mount the medium at wine/cd.
    bash "$(dirname "$0")/../tests/e2e/cd_drive.sh" map "$TRV_WINE_LOADER" "$(cd "$build_dir" && pwd)/wine/cd"
    # A persistent server, started with its output sent away: otherwise the helper processes of
    # the first program inherit ctest's pipe and ctest waits for them. The server that wineboot
    # started is let go first.
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    "$TRV_WINE_LOADER" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
version)
    "$TRV_WINE_LOADER" reg add 'HKCU\Software\Wine' /v Version /d "${3:?which version}" /f \
        </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "wine_prefix.sh: unknown action $action" >&2
    exit 2
    ;;
esac
