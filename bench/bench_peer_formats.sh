#!/usr/bin/env bash
# Velmo against nsxiv and geeqie on 12 MP HEIC, AVIF and JPEG XL pictures,
# timed from outside by the shared peer-bench timer in one run (median of
# the runs): start to picture fitted, the next key at once (pressed as soon
# as the first picture shows) and after a pause of 2 s (decoded ahead).
#
#   bench/bench_peer_formats.sh [build folder] [runs] [formats...]
#
# Velmo runs in an 800x600 window, fitted, as nsxiv does; geeqie in its own
# window. The ratios are against the faster of the two peers.
#
# Needs the peer-bench folder ($PEER_BENCH, else ../shared/peer-bench beside
# the project), nsxiv and geeqie (Debian packages; not dependencies of Velmo:
# apt-get install nsxiv geeqie).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
formats=("${@:3}")
[ ${#formats[@]} -gt 0 ] || formats=(heic avif jxl)
peer=${PEER_BENCH:-$root/../shared/peer-bench}
[ -x "$peer/peer-bench.sh" ] || { echo "peer-bench not found: set PEER_BENCH" >&2; exit 2; }
for viewer in nsxiv geeqie; do
    command -v $viewer >/dev/null || { echo "$viewer is not installed (apt-get install $viewer)" >&2; exit 2; }
done

work=$(mktemp -d /tmp/velmo-peer-formats.XXXXXX)
trap 'rm -rf "$work"' EXIT
tsv=$work/results.tsv
mkdir -p "$work/velmo/tmp"
printf '[WINDOW]\nWidth=800\nHeight=600\n[ACTION]\nDispSize=1\n' >"$work/velmo/Velmo.ini"
velmo_env=(-e "VELMO_INI_DIR=$work/velmo" -e "TMPDIR=$work/velmo/tmp")

time_one() { # format label key first-template next-template [env...]
    local f=$1 label=$2 key=$3 first=$4 next=$5
    shift 5
    local pb=("$peer/peer-bench.sh" -q -f "$f" -n "$runs" -o "$tsv" -l "$label-$f" "$@")
    "${pb[@]}" first "$first"
    "${pb[@]}" -k "$key" -P 0 next "$next"
    "${pb[@]}" -k "$key" -w 2000 next "$next"
}

for f in "${formats[@]}"; do
    time_one "$f" velmo n "$build/velmo {FILE}" "$build/velmo {FILE}" "${velmo_env[@]}"
    time_one "$f" nsxiv n 'nsxiv -g 800x600 {FILE}' 'nsxiv -g 800x600 {FILES}'
    time_one "$f" geeqie space 'geeqie {FILE}' 'geeqie {FILE}'
done

echo
awk -F'\t' '
    $1 == "label" { next }
    {
        what = $2 == "first" ? "start" : ($10 == "2000" ? "next after 2 s" : "next at once")
        split($1, part, "-"); viewer = part[1]; format = part[2]
        key = viewer "|" format "|" what; median[key] = $6; formats[format] = 1
        printf "%-7s %-5s %-15s median %7s ms  (min %s, max %s; %s of %s runs; shown %s)\n",
               viewer, format, what, $6, $5, $7, $3, $4, $9
    }
    END {
        print ""
        for (f in formats) {
            ratio(f, "start", "<= 0.6x")
            ratio(f, "next at once", "<= 0.6x")
            k = "velmo|" f "|next after 2 s"
            if (k in median)
                printf "%-5s %-15s velmo %7s ms  (goal < 20 ms)\n", f, "next after 2 s", median[k]
        }
    }
    function ratio(f, what, goal,    best, v, k) {
        best = ""
        split("nsxiv geeqie", peers, " ")
        for (v in peers) {
            k = peers[v] "|" f "|" what
            if ((k in median) && median[k] != "-" && (best == "" || median[k] + 0 < median[best] + 0))
                best = k
        }
        k = "velmo|" f "|" what
        if (best == "" || !(k in median) || median[k] == "-") return
        split(best, b, "|")
        printf "%-5s %-15s velmo %7s ms against %-6s %7s ms  %5.2fx  (goal %s)\n",
               f, what, median[k], b[1], median[best], median[k] / median[best], goal
    }' "$tsv"
