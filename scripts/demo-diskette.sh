#!/usr/bin/env bash
# Makes the demo diskette in FOLDER: FOLDER/diskette, a fresh copy of samples/
# with the file dates of samples/dates.txt; FOLDER/drive-c and FOLDER/config
# are made if missing and kept.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
demo=${1:?usage: demo-diskette.sh FOLDER}
rm -rf "$demo/diskette"
mkdir -p "$demo/diskette" "$demo/drive-c" "$demo/config"
while read -r name day time; do
  case "$name" in ''|'#'*) continue ;; esac
  cp "$here/samples/$name" "$demo/diskette/$name"
  touch -d "$day $time" "$demo/diskette/$name"
done < "$here/samples/dates.txt"
