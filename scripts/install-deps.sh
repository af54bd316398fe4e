#!/usr/bin/env bash
# Installs the Debian 12 packages Velmo needs to build, run and test.
# Only packages that are missing are installed; runs apt-get through sudo
# when not root. With --wine it also installs Wine (32-bit and 64-bit), which
# runs Windows decoder plug-ins and their tests; Velmo itself runs without it.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6svg6 qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libpng-dev libgif-dev libwebp-dev libtiff-dev
  fonts-ipafont-gothic
  xvfb xdotool x11-utils imagemagick xauth dbus-x11 openbox x11-xserver-utils
  gcc-mingw-w64-i686 gcc-mingw-w64-x86-64
  uidmap
)
if [ "${1:-}" = --wine ]; then
  packages+=(wine wine64 wine32:i386)
fi

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
if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
