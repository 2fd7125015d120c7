#!/usr/bin/env bash
# Builds Pixferry and starts it. Without PIXFERRY_DRIVE_A it starts on a demo
# diskette: a fresh copy of samples/ made at every start, with drive C: mapped
# to a demo folder too, so the demo never touches your own files.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/scripts/deps.sh"

build="$here/build"
cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" --target pixferry -j"$(nproc)"

if [ -z "${PIXFERRY_DRIVE_A:-}" ]; then
  demo="${PIXFERRY_DEMO_DIR:-${TMPDIR:-/tmp}/pixferry-demo-$(id -un)}"
  "$here/scripts/demo-diskette.sh" "$demo"
  export PIXFERRY_DRIVE_A="$demo/diskette"
  export PIXFERRY_DRIVE_C="${PIXFERRY_DRIVE_C:-$demo/drive-c}"
  export XDG_CONFIG_HOME="$demo/config"
  echo "Demo diskette (drive A:): $PIXFERRY_DRIVE_A"
  echo "Demo drive C:            : $PIXFERRY_DRIVE_C"
  echo "Demo settings            : $XDG_CONFIG_HOME/Pixferry/Pixferry.conf"
fi
exec "$build/pixferry"
