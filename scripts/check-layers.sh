#!/usr/bin/env bash
# Fails when a source includes from a layer above its own, or when a source
# file of a layer is missing from its library's list in CMakeLists.txt.
#   base (0): toolkit/ platform/    middle (1): settings/ spi/ shelltree/
#   top (2): dialogs/               (3): app/
# Folders of one middle layer do not include each other either.
set -u
cd "$(dirname "$0")/.."
declare -A rank=([toolkit]=0 [platform]=0 [settings]=1 [spi]=1 [shelltree]=1 [dialogs]=2 [app]=3)
bad=0
for folder in "${!rank[@]}"; do
    for file in "$folder"/*.cpp "$folder"/*.h; do
        [ -e "$file" ] || continue
        name=${file#"$folder"/}
        if [ "$file" != app/main.cpp ] && ! grep -qw -- "$name" CMakeLists.txt; then
            echo "$file: not in its library's source list (CMakeLists.txt)"
            bad=1
        fi
        while IFS=: read -r line target; do
            own=${rank[$folder]}
            up=${rank[$target]:-}
            [ -n "$up" ] || continue
            [ "$target" = "$folder" ] && continue
            if [ "$up" -gt "$own" ] || { [ "$up" -eq "$own" ] && [ "$own" -ne 0 ]; }; then
                echo "$file:$line: includes from $target/, which is not below $folder/"
                bad=1
            fi
        done < <(grep -no '^#include "[a-z]*/' "$file" | sed 's/#include "//; s#/$##')
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
