#!/usr/bin/env bash
# Installs the Debian 12 packages Velmo needs to build, run and test.
# Only packages that are missing are installed; runs apt-get through sudo
# when not root, and waits while another apt or dpkg is at work.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6svg6 qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libpng-dev libgif-dev libwebp-dev libtiff-dev
  fonts-ipafont-gothic
  xvfb xdotool x11-utils imagemagick xauth dbus-x11 openbox x11-xserver-utils
)

source "$(dirname "${BASH_SOURCE[0]}")/apt-install.sh"
apt_install "${packages[@]}"
