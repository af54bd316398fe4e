#!/usr/bin/env bash
# Installs what is missing, builds Velmo and runs every test: unit tests
# offscreen, end-to-end tests against the real program under Xvfb.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)" "$@"
