#!/usr/bin/env bash
# Installs what is missing, builds Velmo and starts it; an optional folder
# (or picture file) argument is passed through.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/build.sh"
exec "$root/build/velmo" "$@"
