#!/usr/bin/env bash
# The scripts that install packages wait while another apt or dpkg holds the
# package system, and say so, instead of failing at once with "Could not get
# lock". apt-get runs on a package system of the test's own (APT_CONFIG, no
# sources, no root needed) whose locks a stand-in process holds for a few
# seconds: the lock of the package lists during an update, then dpkg's
# during an install.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
box="$(mktemp -d)"
trap 'rm -rf "$box"' EXIT
mkdir -p "$box/lists/partial" "$box/dpkg" "$box/cache/archives/partial" "$box/parts" "$box/log"
: >"$box/dpkg/status"
: >"$box/sources.list"
cat >"$box/apt.conf" <<CONF
Dir::State::Lists "$box/lists/";
Dir::State::status "$box/dpkg/status";
Dir::Cache "$box/cache/";
Dir::Etc::SourceList "$box/sources.list";
Dir::Etc::SourceParts "$box/parts/";
Dir::Log "$box/log/";
CONF
export APT_CONFIG="$box/apt.conf" APT_SUDO=""
source "$root/scripts/apt-install.sh"

# Holds a lock file as apt and dpkg take it (a POSIX record lock) for the
# given seconds; prints "locked" once it has it.
hold() {
    perl -e 'use Fcntl; open(my $f, ">>", $ARGV[0]) or die "$ARGV[0]: $!";
        my $l = pack("ssx4qqix4", F_WRLCK, 0, 0, 0, 0); fcntl($f, F_SETLKW, $l) or die "$!";
        $| = 1; print "locked\n"; sleep $ARGV[1];' "$@"
}

failed=0
while read -r lock args; do
    exec 3< <(hold "$box/$lock" 3)
    read -r -t 10 ready <&3
    start=$(date +%s%N)
    out=$(apt_get $args 2>&1)
    status=$?
    waited=$((($(date +%s%N) - start) / 1000000))
    if [ "$ready" = locked ] && [ $status -eq 0 ] && [ $waited -ge 2500 ] &&
        grep -q "waiting for it to finish" <<<"$out"; then
        echo "ok: apt-get $args waited ${waited} ms for $lock"
    else
        echo "FAILED: apt-get $args with $lock held: status $status after ${waited} ms:"
        echo "$out"
        failed=1
    fi
    exec 3<&-
done <<'CASES'
lists/lock update -qq
dpkg/lock-frontend install -y -qq
CASES
exit $failed
