#!/usr/bin/env bash
# Builds the plug-in fuzzers (bench/fuzz) with clang into build-fuzz/ and runs
# each for a short while (FUZZ_SECONDS, 30 by default) from fresh seed
# pictures. Installs clang when it is missing and it can; skips with a message
# when it cannot. A crash, a leak or a broken picture fails the run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${FUZZ_SECONDS:-30}"
need=(clang libclang-rt-14-dev)

source "$root/scripts/apt-install.sh"
if ! APT_SUDO="sudo -n" apt_install "${need[@]}"; then
  echo "SKIPPED: plug-in fuzzing needs ${need[*]}, which could not be installed." >&2
  exit 0
fi

build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMO_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target velmo_fuzzers

# A smaller quarantine for freed memory: the default one, filled by the many
# large pictures decoded, passes 2 GB in half a minute. The resident limit
# leaves room for the quarantine; one allocation over 2 GB still counts as a
# fault.
export ASAN_OPTIONS="quarantine_size_mb=64${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$root/bench/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bash "$root/bench/fuzz/make_seeds.sh" "$work/seeds"
names=(png gif webp tiff)
names+=(heif jxl)
for name in "${names[@]}"; do
  echo "Fuzzing the $name plug-in for ${seconds}s"
  mkdir -p "$work/corpus-$name"
  (cd "$work" && "$build/bench/fuzz/fuzz_$name" -jobs=1 -workers=1 -max_total_time="$seconds" \
    -rss_limit_mb=8192 -malloc_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/$name-" \
    "$work/corpus-$name" "$work/seeds/$name" \
    2>"$work/$name.log") || {
    tail -n 60 "$work/$name.log" >&2
    echo "FAILED: the $name plug-in fuzzer found a fault (log above; input kept in $build)." >&2
    exit 1
  }
  grep -E "^stat::number_of_executed_units|^Done" "$work/$name.log" || true
done
