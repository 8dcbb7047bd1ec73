#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when any is
# missing. Runs apt-get as root, or through sudo.
set -euo pipefail
# fonts-dejavu-extra: the condensed sans serif that stands in for the
# windows' "MS Sans Serif" at a readable size (monitor/UiFont.cpp).
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgl1-mesa-dev libgtest-dev fonts-dejavu-extra)
# km7ctl, the command-line tool: argument parsing and JSON output.
packages+=(libcli11-dev nlohmann-json3-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
