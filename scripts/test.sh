#!/usr/bin/env bash
# Installs what is missing (Wine included), builds Velmo and runs every test:
# unit tests offscreen, end-to-end tests against the real program under Xvfb.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Wine too: the Windows plug-in tests run for real, never skipped.
bash "$root/scripts/install-deps.sh" --wine
export VELMO_REQUIRE_WINE=1
bash "$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)" "$@"
