#!/usr/bin/env bash
# Makes the desktop icons at every size from the scalable one:
# packaging/icons/hicolor/<N>x<N>/apps/org.pixferry.Pixferry.png. The PNGs are
# kept in the repository; run this after changing the SVG (needs rsvg-convert,
# Debian package librsvg2-bin).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
icons="$here/packaging/icons/hicolor"
svg="$icons/scalable/apps/org.pixferry.Pixferry.svg"
for n in 16 32 48 64 128 256; do
  mkdir -p "$icons/${n}x${n}/apps"
  rsvg-convert -w "$n" -h "$n" "$svg" -o "$icons/${n}x${n}/apps/org.pixferry.Pixferry.png"
done
echo "Icons made in $icons"
