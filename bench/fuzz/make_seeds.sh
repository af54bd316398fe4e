#!/usr/bin/env bash
# Makes small seed pictures for the plug-in fuzzers in
# <dir>/{png,gif,webp,tiff,heif,jxl} with ImageMagick and the HEIF and JPEG XL
# encoders: the variants each decoder has separate paths for.
set -euo pipefail
out="${1:?usage: make_seeds.sh <dir>}"
mkdir -p "$out"/{png,gif,webp,tiff}
cd "$out"
convert -size 37x23 gradient:red-blue src.png
convert -size 37x23 gradient:red-blue -alpha set -channel A -evaluate set 50% +channel srca.png
convert -size 16x16 xc:none -fill green -draw "circle 8,8 8,3" srct.png

convert src.png png/rgb.png
convert srca.png png/rgba.png
convert src.png -depth 16 png/rgb16.png
convert srca.png -depth 16 png/rgba16.png
convert src.png -colorspace Gray png/grey.png
convert srca.png -colorspace Gray -define png:color-type=4 png/greyalpha.png
convert src.png -colorspace Gray -depth 2 png/grey2.png
convert src.png -interlace PNG png/interlaced.png
convert srct.png PNG8:png/palette-trns.png
convert src.png -colors 5 PNG8:png/palette.png

convert src.png gif/plain.gif
convert src.png -interlace GIF gif/interlaced.gif
convert srct.png gif/transparent.gif
convert -delay 10 src.png srct.png gif/animated.gif
convert src.png -page 60x40+5+7 gif/offset.gif

convert src.png -quality 80 webp/lossy.webp
convert src.png -define webp:lossless=true webp/lossless.webp
convert srca.png webp/alpha.webp
convert srca.png -define webp:lossless=true webp/alpha-lossless.webp
convert -delay 10 src.png srct.png webp/animated.webp

convert src.png tiff/rgb.tif
convert src.png -compress lzw tiff/lzw.tif
convert src.png -compress zip -depth 16 tiff/zip16.tif
convert srca.png tiff/rgba.tif
convert src.png -colors 8 -type palette tiff/palette.tif
convert src.png -colorspace Gray -type bilevel -compress group4 tiff/g4.tif
convert src.png -colorspace CMYK tiff/cmyk.tif
convert src.png -compress jpeg tiff/jpeg.tif
convert src.png -define tiff:tile-geometry=16x16 tiff/tiled.tif
convert src.png -endian MSB tiff/bigendian.tif
# HEIF and JPEG XL: small files from Debian's encoders (install-deps.sh).
mkdir -p heif jxl
heif-enc -q 50 -o heif/lossy.heic src.png >/dev/null
heif-enc -L -p chroma=444 --matrix_coefficients=0 -o heif/lossless-alpha.heic srca.png >/dev/null
avifenc -s 10 srca.png heif/alpha.avif >/dev/null
avifenc -s 10 --irot 1 src.png heif/turned.avif >/dev/null
cjxl src.png jxl/lossless.jxl -d 0 >/dev/null 2>&1
cjxl srca.png jxl/lossy-alpha.jxl -d 2 >/dev/null 2>&1
cjxl gif/animated.gif jxl/animated.jxl -d 0 >/dev/null 2>&1
rm -f src.png srca.png srct.png
