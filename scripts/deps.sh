#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# only those that are missing. Uses sudo when not run as root.
# With arguments, installs those packages instead of the usual list.
set -euo pipefail

packages=("$@")
[[ $# -gt 0 ]] || packages=(
  build-essential cmake pkg-config
  freeglut3-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri
  nettle-dev googletest libgtest-dev libbenchmark-dev libpng-dev
  xvfb xdotool x11-utils libx11-dev libxtst-dev imagemagick xdg-utils
  librsvg2-bin dpkg-dev lintian desktop-file-utils groff man-db file
  clang libclang-rt-dev appstream libfreetype-dev libfontconfig-dev
  libharfbuzz-dev libfribidi-dev unicode-data
  fonts-dejavu-core fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
