#!/usr/bin/env bash
# Builds the Debian package as a packager would, in a fresh temporary folder
# (a Release build without the tests and benchmarks), and checks it: the
# package with lintian, its desktop entry with desktop-file-validate, its
# AppStream data with appstreamcli, each where that tool is installed.
# Exit status 1 when a check finds an error or a warning.
# With a folder as argument, the .deb is left there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
keep=${1:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$here" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DPIXFERRY_BUILD_TESTS=OFF >/dev/null
cmake --build "$work/build" -j"${PIXFERRY_JOBS:-2}" >/dev/null
(cd "$work/build" && cpack -G DEB >/dev/null)
debs=("$work"/build/pixferry_*.deb)
deb=${debs[0]}
echo "Built $(basename "$deb")"
if [ -n "$keep" ]; then cp "$deb" "$keep/"; fi

failed=0
skipped=()
if command -v lintian >/dev/null; then
  echo "--- lintian"
  lintian --fail-on error,warning --display-info "$deb" || failed=1
else
  skipped+=(lintian)
fi

# The installed files, as the package holds them.
dpkg-deb -x "$deb" "$work/root"
if command -v desktop-file-validate >/dev/null; then
  echo "--- desktop-file-validate"
  desktop-file-validate "$work/root/usr/share/applications/org.pixferry.Pixferry.desktop" || failed=1
else
  skipped+=(desktop-file-validate)
fi
if command -v appstreamcli >/dev/null; then
  echo "--- appstreamcli validate"
  appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.pixferry.Pixferry.metainfo.xml" || failed=1
else
  skipped+=(appstreamcli)
fi

if [ ${#skipped[@]} -gt 0 ]; then echo "Not installed, so not run: ${skipped[*]}"; fi
if [ "$failed" -ne 0 ]; then
  echo "Package check FAILED." >&2
  exit 1
fi
echo "Package check passed."
