#!/usr/bin/env bash
# Installs the Debian 12 packages Velmo needs to build, run and test.
# Only packages that are missing are installed; runs apt-get through sudo
# when not root. With --wine it also installs Wine (32-bit and 64-bit), which
# runs Windows decoder plug-ins and their tests; Velmo itself runs without it.
# Waits while another apt or dpkg is at work.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6svg6 qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libpng-dev libgif-dev libwebp-dev libtiff-dev
  libheif-dev libheif-examples libavif-bin
  libjxl-dev libjxl-tools
  fonts-ipafont-gothic
  xvfb xdotool x11-utils imagemagick xauth dbus-x11 openbox x11-xserver-utils
  gcc-mingw-w64-i686 gcc-mingw-w64-x86-64
  uidmap
)
if [ "${1:-}" = --wine ]; then
  packages+=(wine wine64 wine32:i386)
fi

source "$(dirname "${BASH_SOURCE[0]}")/apt-install.sh"
apt_install "${packages[@]}"
