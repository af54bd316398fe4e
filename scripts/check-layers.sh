#!/usr/bin/env bash
# Fails when a source includes from a layer that is not below its own, or when
# a source file of a layer is missing from its own folder's velmo_layer(...)
# list in CMakeLists.txt.
#   (0) platform/    (1) toolkit/    (2) settings/ spi/ shelltree/ history/
#   (3) dialogs/     (4) app/
# Folders of one layer do not include each other. An include is followed as
# the compiler finds it (beside the including file first, then from the top
# folder and include/), with any ".." in it worked out.
set -u
cd "$(dirname "$0")/.."
declare -A rank=([platform]=0 [toolkit]=1 [settings]=2 [spi]=2 [shelltree]=2 [history]=2 [dialogs]=3 [app]=4)

# The names listed in the velmo_layer(<library> <folder> ...) block of a folder.
listed() {
    awk -v folder="$1" '
        !inside && $1 ~ /^velmo_layer\(/ && $2 == folder { inside = 1; $1 = $2 = "" }
        inside {
            done = sub(/\).*/, "")
            for (i = 1; i <= NF; i++) if ($i != "") print $i
            if (done) inside = 0
        }' CMakeLists.txt
}

# Sets `landed` to the top folder that an include of `file` lands in, or to
# nothing when it lands outside the project (a system or Qt header). Plain
# bash, no subshell: it runs for every include of every source.
land() {
    local file=$1 quote=$2 path=$3 found="" candidate part
    local candidates=("$path" "include/$path")
    [ "$quote" = '"' ] && candidates=("${file%/*}/$path" "${candidates[@]}")
    for candidate in "${candidates[@]}"; do
        if [ -e "$candidate" ]; then
            found=$candidate
            break
        fi
    done
    # A header that the build makes is named from the top folder.
    [ -n "$found" ] || found=$path
    local -a parts=() split=()
    IFS=/ read -ra split <<<"$found"
    for part in "${split[@]}"; do
        case $part in
        "" | .) ;;
        ..) if [ ${#parts[@]} -gt 0 ] && [ "${parts[-1]}" != .. ]; then unset 'parts[-1]'; else parts+=(..); fi ;;
        *) parts+=("$part") ;;
        esac
    done
    landed=""
    if [ ${#parts[@]} -gt 1 ] && [ "${parts[0]}" != .. ] && [ "${found:0:1}" != / ]; then
        landed=${parts[0]}
    fi
}

bad=0
for folder in "${!rank[@]}"; do
    mapfile -t names < <(listed "$folder")
    for file in "$folder"/*.cpp "$folder"/*.h; do
        [ -e "$file" ] || continue
        name=${file#"$folder"/}
        if [ "$file" != app/main.cpp ] && ! printf '%s\n' "${names[@]}" | grep -qxF -- "$name"; then
            echo "$file: not in the source list of velmo_layer(... $folder ...) in CMakeLists.txt"
            bad=1
        fi
        while IFS= read -r hit; do
            line=${hit%%:*}
            include=${hit#*:}
            quote=${include:0:1}
            path=${include:1:${#include}-2}
            land "$file" "$quote" "$path"
            target=$landed
            [ -n "$target" ] && [ -n "${rank[$target]:-}" ] || continue
            [ "$target" = "$folder" ] && continue
            if [ "${rank[$target]}" -ge "${rank[$folder]}" ]; then
                echo "$file:$line: includes $path from $target/, which is not below $folder/"
                bad=1
            fi
        done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][^">]+[">]' "$file" |
            sed -E 's/^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*(["<][^">]+[">]).*/\1:\2/')
    done
done
# spihost/ holds the hosts of Windows plug-ins, C programs built by mingw-w64:
# below every layer, they include none, and each file is named in their own list.
for file in spihost/*.c spihost/*.h; do
    [ -e "$file" ] || continue
    if ! grep -qw -- "${file#spihost/}" spihost/CMakeLists.txt; then
        echo "$file: not in spihost/CMakeLists.txt"
        bad=1
    fi
    if grep -q '^#include "[a-z]*/' "$file"; then
        echo "$file: includes from a layer"
        bad=1
    fi
done
[ $bad -eq 0 ] && echo "layers: every include points down"
exit $bad
