#!/usr/bin/env bash
# Builds Velmo with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the unit tests there. Extra arguments go to ctest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELMO_SANITIZE=ON >/dev/null
cmake --build "$root/build-asan" -j"$(nproc)"
# Leaks are reported too, but for the caches of system libraries that live
# until exit (tests/lsan.supp).
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
# Once a bundled plug-in is unloaded, what its libraries hold until the
# process ends can no longer be traced to any module and reads as a leak:
# those libraries are loaded for the whole run instead.
keep=$(ldd "$root"/build-asan/*.spi | awk '/=> \//{print $3}' |
  grep -vE '/(libc|libm|libstdc\+\+|libgcc_s|libasan|libubsan)\.so' | sort -u | paste -sd:)
export LD_PRELOAD="$keep${LD_PRELOAD:+:$LD_PRELOAD}"
export ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0"
cd "$root/build-asan"
ctest --output-on-failure -j"$(nproc)" -L unit "$@"
