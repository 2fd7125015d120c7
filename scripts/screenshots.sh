#!/usr/bin/env bash
# Makes the README's pictures of the real windows, docs/*.png, offscreen on a
# fresh demo diskette: the main window after Check Disk, the clash dialog of a
# second Copy Disk, and Preview Disk.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/deps.sh"

build="$here/build"
cmake -S "$here" -B "$build" -DPIXFERRY_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target pixferry_screenshots -j2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/scripts/demo-diskette.sh" "$work"
mkdir -p "$work/drive-c/Pictures" "$work/drive-c/Videos" "$work/config/Pixferry"
cat > "$work/config/Pixferry/Pixferry.conf" <<'CONF'
[Settings]
Image%20Folder=C:\\Pictures\\
Video%20Folder=C:\\Videos\\
Rename=True
Splash%20Screen=False
CONF

PIXFERRY_DRIVE_A="$work/diskette" PIXFERRY_DRIVE_C="$work/drive-c" XDG_CONFIG_HOME="$work/config" \
  QT_QPA_PLATFORM=offscreen "$build/pixferry_screenshots" "$here/docs"
