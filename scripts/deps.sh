#!/usr/bin/env bash
# Installs the Debian packages Pixferry needs to build, run and test.
# As root it installs what is missing; otherwise it prints the one line to run.
set -euo pipefail

packages=(cmake make g++ qt6-base-dev libjpeg-dev libgl-dev fonts-liberation)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Pixferry needs some Debian packages first. Please run:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
