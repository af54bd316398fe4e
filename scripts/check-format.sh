#!/usr/bin/env bash
# Fails when a C or C++ source of the project differs from what .clang-format
# makes of it; lists the files. `scripts/check-format.sh --fix` reformats them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/apt-install.sh
command -v clang-format >/dev/null || apt_install clang-format
command -v git >/dev/null || apt_install git
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
# No list is no pass: a check of nothing would say every source matches.
if [ ${#files[@]} -eq 0 ]; then
    echo "format: no sources to check (git ls-files found none)" >&2
    exit 1
fi
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
