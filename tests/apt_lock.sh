#!/usr/bin/env bash
# The scripts that install packages wait while another apt or dpkg holds the
# package system, and say so, instead of failing with "Could not get lock".
# apt-get runs on a package system of the test's own (APT_CONFIG: no sources,
# no root needed) whose lists lock, then dpkg lock, a stand-in holds for 3 s.
set -u
box="$(mktemp -d)"
trap 'rm -rf "$box"' EXIT
mkdir -p "$box/lists/partial" "$box/dpkg" "$box/cache/archives/partial" "$box/parts" "$box/log"
: >"$box/dpkg/status"
cat >"$box/apt.conf" <<CONF
Dir::State::Lists "$box/lists/"; Dir::State::status "$box/dpkg/status"; Dir::Cache "$box/cache/";
Dir::Etc::SourceList "/dev/null"; Dir::Etc::SourceParts "$box/parts/"; Dir::Log "$box/log/";
CONF
export APT_CONFIG="$box/apt.conf" APT_SUDO=""
source "$(dirname "$0")/../scripts/apt-install.sh"

failed=0
for run in "lists/lock update -qq" "dpkg/lock-frontend install -y -qq"; do
    read -r lock args <<<"$run"
    # A POSIX record lock, as apt and dpkg take it; "locked" once held.
    exec 3< <(perl -e 'use Fcntl; open(my $f, ">>", $ARGV[0]) or die;
        my $l = pack("ssx4qqix4", F_WRLCK, 0, 0, 0, 0); fcntl($f, F_SETLKW, $l) or die;
        $| = 1; print "locked\n"; sleep 3;' "$box/$lock")
    read -r -t 10 ready <&3
    start=$SECONDS
    out=$(apt_get $args 2>&1)
    status=$?
    if [ "$ready" = locked ] && [ $status -eq 0 ] && [ $((SECONDS - start)) -ge 3 ] &&
        grep -q "waiting for it to finish" <<<"$out"; then
        echo "ok: apt-get $args waited for $lock"
    else
        echo "FAILED: apt-get $args with $lock held: status $status: $out"
        failed=1
    fi
    exec 3<&-
done
exit $failed
