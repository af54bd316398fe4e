#!/usr/bin/env bash
# Runs one test in a home and XDG folders of its own, made afresh in the
# given folder, so that nothing the test writes reaches the folders of the
# person (or the package builder) running the tests; no session bus either.
# Usage: tests/sandbox.sh <folder> <command> [arguments...]
set -eu
box="$1"
shift
rm -rf "$box"
mkdir -p "$box/home" "$box/config" "$box/data" "$box/cache" "$box/state" "$box/runtime"
chmod 700 "$box/runtime"
export HOME="$box/home" XDG_CONFIG_HOME="$box/config" XDG_DATA_HOME="$box/data" \
    XDG_CACHE_HOME="$box/cache" XDG_STATE_HOME="$box/state" XDG_RUNTIME_DIR="$box/runtime"
unset DBUS_SESSION_BUS_ADDRESS
exec "$@"
