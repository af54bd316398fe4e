#!/usr/bin/env bash
# Builds Velmo's Debian package as Debian's builders do (the build runs every
# test) and inspects it: the files an installed copy needs are there, the
# desktop entry and the AppStream metadata are valid, lintian finds no error.
# Installs the Debian tools and build dependencies it needs first. The package
# lands in build-deb/; install it with: sudo apt install ./build-deb/velmo_*.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build-deb"
source "$root/scripts/apt-install.sh"

apt_install build-essential dpkg-dev debhelper lintian desktop-file-utils appstream
# The build dependencies named in debian/control that are missing.
read -r -a needed <<<"$(cd "$root" && dpkg-checkbuilddeps 2>&1 |
    sed -n 's/.*Unmet build dependencies: //p' | sed 's/([^)]*)//g; s/<[^>]*>//g; s/|[^ ]*//g')"
[ ${#needed[@]} -eq 0 ] || apt_install "${needed[@]}"

# A clean copy of the source tree, so the package never sees a build folder.
rm -rf "$out"
mkdir -p "$out/src"
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 tar -cf - --no-recursion) | tar -xf - -C "$out/src"
else
    tar -C "$root" --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$out/src"
fi

# A compiler cache speeds up a build made again, when there is one.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_DIR="${CCACHE_DIR:-$HOME/.ccache}"
fi
(cd "$out/src" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -us -uc -b)

deb=$(ls "$out"/velmo_*.deb)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
contents="$out/contents"
rm -rf "$contents"
dpkg-deb -x "$deb" "$contents"

passed=0
failed=0
check() {
    local what="$1"
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok: $what"
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
    fi
}
for f in usr/bin/velmo usr/share/velmo/Velmo.html usr/share/man/man1/velmo.1.gz \
    usr/share/applications/org.example.velmo.desktop \
    usr/share/metainfo/org.example.velmo.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/velmo.svg \
    usr/lib/"$multiarch"/velmo/plugins/{png,gif,webp,tiff}.spi \
    usr/lib/"$multiarch"/velmo/spihost{32,64}.exe \
    usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/velmo.png; do
    check "$f" test -s "$contents/$f"
done
check "desktop entry valid" \
    desktop-file-validate "$contents/usr/share/applications/org.example.velmo.desktop"
# With the network: an address that does not answer fails too.
check "AppStream metadata valid" \
    appstreamcli validate "$contents/usr/share/metainfo/org.example.velmo.metainfo.xml"
check "lintian finds no error" lintian --fail-on error "$deb"
echo "package: $deb"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
