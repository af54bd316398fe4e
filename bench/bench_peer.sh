#!/usr/bin/env bash
# Velmo timed from outside, side by side with feh, in one run: the shared
# peer-bench timer starts each program on its own Xvfb screen and watches the
# screen's pixels until a 6000x4000 JPEG is shown (median of the runs).
#
#   bench/bench_peer.sh [build folder] [runs] [another velmo to time alike]
#
# Velmo is timed in its 800x600 window at actual size and fitted: start to
# picture, the next key at once (pressed as soon as the first picture shows,
# before anything could be decoded ahead) and after a pause of 2 s. feh, in
# an 800x600 window at actual size, is the baseline of the actual-size
# figures. The third argument (say, a build of an earlier commit) is timed
# the same way, as the baseline of "no slower than before".
#
# Needs the peer-bench folder ($PEER_BENCH, else ../shared/peer-bench beside
# the project) and feh (Debian package feh; not a dependency of Velmo:
# apt-get install feh).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-7}
before=${3:-}
peer=${PEER_BENCH:-$root/../shared/peer-bench}
[ -x "$peer/peer-bench.sh" ] || { echo "peer-bench not found: set PEER_BENCH" >&2; exit 2; }
command -v feh >/dev/null || { echo "feh is not installed (apt-get install feh)" >&2; exit 2; }

work=$(mktemp -d /tmp/velmo-peer.XXXXXX)
trap 'rm -rf "$work"' EXIT
tsv=$work/results.tsv

# One settings folder per display setting, with its own single-instance
# socket folder, so a copy started by something else is never asked.
settings() { # name DispSize
    mkdir -p "$work/$1/tmp"
    printf '[WINDOW]\nWidth=800\nHeight=600\n[ACTION]\nDispSize=%s\n' "$2" >"$work/$1/Velmo.ini"
}

time_velmo() { # label binary DispSize
    settings "$1" "$3"
    local env=(-e "VELMO_INI_DIR=$work/$1" -e "TMPDIR=$work/$1/tmp")
    "$peer/peer-bench.sh" -q -n "$runs" -o "$tsv" -l "$1" "${env[@]}" first "$2 {FILE}"
    "$peer/peer-bench.sh" -q -n "$runs" -o "$tsv" -l "$1" "${env[@]}" -k n -P 0 next "$2 {FILE}"
    "$peer/peer-bench.sh" -q -n "$runs" -o "$tsv" -l "$1" "${env[@]}" -k n -w 2000 next "$2 {FILE}"
}

time_velmo velmo-actual "$build/velmo" 0
time_velmo velmo-fitted "$build/velmo" 1
if [ -n "$before" ]; then
    time_velmo before-actual "$before" 0
    time_velmo before-fitted "$before" 1
fi
"$peer/peer-bench.sh" -q -n "$runs" -o "$tsv" -l feh first 'feh --geometry 800x600 {FILE}'
"$peer/peer-bench.sh" -q -n "$runs" -o "$tsv" -l feh -k space -P 0 next \
    'feh --geometry 800x600 {FILES}'

echo
awk -F'\t' '
    $1 == "label" { next }
    {
        what = $2 == "first" ? "start" : ($10 == "2000" ? "next after 2 s" : "next at once")
        key = $1 "|" what; median[key] = $6; order[++n] = key
        printf "%-14s %-15s median %7s ms  (min %s, max %s; %s of %s runs; shown %s)\n",
               $1, what, $6, $5, $7, $3, $4, $9
    }
    END {
        print ""
        ratio("velmo-actual|start", "feh|start", "<= 0.6x")
        ratio("velmo-actual|next at once", "feh|next at once", "<= 0.5x")
        for (i = 1; i <= n; ++i) {
            split(order[i], part, "|")
            if (part[1] !~ /^velmo/) continue
            other = order[i]; sub(/^velmo/, "before", other)
            if (other in median) ratio(order[i], other, "<= 1.0x")
        }
    }
    function ratio(a, b, goal) {
        if (!(a in median) || !(b in median) || median[a] == "-" || median[b] == "-") return
        printf "%-28s against %-28s %5.2fx  (goal %s)\n", a, b, median[a] / median[b], goal
    }' "$tsv"
