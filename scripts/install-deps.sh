#!/usr/bin/env bash
# Installs the Debian 12 packages Velmo needs to build, run and test.
# Only packages that are missing are installed; runs apt-get through sudo
# when not root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6svg6 qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libpng-dev libgif-dev libwebp-dev libtiff-dev
  fonts-ipafont-gothic
  xvfb xdotool x11-utils imagemagick xauth dbus-x11 openbox x11-xserver-utils
  uidmap
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
