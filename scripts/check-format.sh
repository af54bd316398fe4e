#!/usr/bin/env bash
# Fails when a C or C++ source of the project differs from what .clang-format
# makes of it; lists the files. `scripts/check-format.sh --fix` reformats them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if ! command -v clang-format >/dev/null; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends clang-format
fi
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
# clang-format's own exit status decides: it fails on a difference and also
# when it cannot read .clang-format (an unknown key, a bad value).
status=0
report=$(clang-format --dry-run --Werror "${files[@]}" 2>&1) || status=$?
if [ $status -ne 0 ]; then
    bad=$(grep -- '\[-Wclang-format-violations\]' <<<"$report" | cut -d: -f1 | sort -u || true)
    if [ -n "$bad" ]; then
        echo "not formatted as .clang-format says (scripts/check-format.sh --fix):"
        echo "$bad"
    else
        echo "clang-format failed (exit status $status):"
        awk '!seen[$0]++' <<<"$report"
    fi
    exit 1
fi
echo "format: every source matches .clang-format"
