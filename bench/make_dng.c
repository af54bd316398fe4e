/*
 * velmo_make_dng: writes a DNG camera raw file from a picture, for the RAW
 * plug-in's tests, benchmark and fuzzing seeds.
 *
 *   velmo_make_dng [options] <source.ppm | WIDTHxHEIGHT> <out.dng>
 *     --orientation N   TIFF orientation 1..8 of the raw (default 1)
 *     --no-preview      no JPEG preview, only a small thumbnail
 *     --no-dng-version  leave out the DNG version: a TIFF raw file of a maker
 *                       LibRaw knows nothing of
 *
 * A WIDTHxHEIGHT source is a colourful pattern made here. The raw data is a
 * 16-bit RGGB mosaic of the source's linear light (the camera's colours are
 * sRGB's); the first directory holds an eighth-size thumbnail, then come the
 * raw data and, unless left out, a full-size JPEG preview (quality 95) as sub
 * directories. Everything is stored as the picture is, the orientation tag
 * telling how to turn it upright.
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tiffio.h>

#include <jpeglib.h>

typedef struct Picture {
    int width, height;
    uint8_t* rgb;
} Picture;

static int ReadPpm(const char* path, Picture* p) {
    FILE* f = fopen(path, "rb");
    int maxval = 0;
    if (!f || fscanf(f, "P6 %d %d %d", &p->width, &p->height, &maxval) != 3 || maxval != 255 ||
        fgetc(f) == EOF || p->width <= 0 || p->height <= 0) {
        if (f)
            fclose(f);
        return 0;
    }
    const size_t n = (size_t)p->width * p->height * 3;
    p->rgb = malloc(n);
    const int ok = p->rgb && fread(p->rgb, 1, n, f) == n;
    fclose(f);
    return ok;
}

static int MakePattern(const char* size, Picture* p) {
    if (sscanf(size, "%dx%d", &p->width, &p->height) != 2 || p->width <= 0 || p->height <= 0)
        return 0;
    p->rgb = malloc((size_t)p->width * p->height * 3);
    if (!p->rgb)
        return 0;
    for (int y = 0; y < p->height; ++y)
        for (int x = 0; x < p->width; ++x) {
            uint8_t* o = p->rgb + ((size_t)y * p->width + x) * 3;
            o[0] = (uint8_t)(x * 255 / p->width);
            o[1] = (uint8_t)(y * 255 / p->height);
            o[2] = (uint8_t)(((x / 64) + (y / 64)) % 2 ? 220 : 40);
        }
    return 1;
}

/* The source as a baseline JPEG in memory. */
static int EncodeJpeg(const Picture* p, unsigned char** out, unsigned long* size) {
    struct jpeg_compress_struct c;
    struct jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    *out = NULL;
    *size = 0;
    jpeg_mem_dest(&c, out, size);
    c.image_width = (JDIMENSION)p->width;
    c.image_height = (JDIMENSION)p->height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = p->rgb + (size_t)c.next_scanline * p->width * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return *size > 0;
}

static void CommonTags(TIFF* t, int width, int height, int subfileType) {
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, subfileType);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
}

static void WriteThumbnail(TIFF* t, const Picture* p) {
    const int w = p->width / 8 > 0 ? p->width / 8 : 1, h = p->height / 8 > 0 ? p->height / 8 : 1;
    CommonTags(t, w, h, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    uint8_t* row = malloc((size_t)w * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            memcpy(row + x * 3, p->rgb + ((size_t)y * 8 * p->width + (size_t)x * 8) * 3, 3);
        TIFFWriteScanline(t, row, (uint32_t)y, 0);
    }
    free(row);
}

static void WriteRaw(TIFF* t, const Picture* p) {
    CommonTags(t, p->width, p->height, 0);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    static const uint16_t dim[2] = {2, 2};
    static const uint8_t rggb[4] = {0, 1, 1, 2};
    TIFFSetField(t, TIFFTAG_CFAREPEATPATTERNDIM, dim);
    TIFFSetField(t, TIFFTAG_CFAPATTERN, 4, rggb);
    const float black = 0;
    const uint32_t white = 65535;
    TIFFSetField(t, TIFFTAG_BLACKLEVEL, 1, &black);
    TIFFSetField(t, TIFFTAG_WHITELEVEL, 1, &white);
    uint16_t linear[256];
    for (int i = 0; i < 256; ++i) {
        const double v = i / 255.0;
        linear[i] =
            (uint16_t)lround(65535 * (v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4)));
    }
    uint16_t* row = malloc((size_t)p->width * 2);
    for (int y = 0; y < p->height; ++y) {
        for (int x = 0; x < p->width; ++x) {
            const int channel = (y & 1) + (x & 1); /* R, G, G, B */
            row[x] = linear[p->rgb[((size_t)y * p->width + x) * 3 + channel]];
        }
        TIFFWriteScanline(t, row, (uint32_t)y, 0);
    }
    free(row);
}

static int WritePreview(TIFF* t, const Picture* p) {
    unsigned char* jpeg;
    unsigned long size;
    if (!EncodeJpeg(p, &jpeg, &size))
        return 0;
    CommonTags(t, p->width, p->height, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
    TIFFSetField(t, TIFFTAG_JPEGTABLESMODE, 0);
    const int ok = TIFFWriteRawStrip(t, 0, jpeg, (tmsize_t)size) == (tmsize_t)size;
    free(jpeg);
    return ok;
}

int main(int argc, char** argv) {
    int orientation = 1, preview = 1, dngVersion = 1, i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
        if (strcmp(argv[i], "--orientation") == 0 && i + 1 < argc)
            orientation = atoi(argv[++i]);
        else if (strcmp(argv[i], "--no-preview") == 0)
            preview = 0;
        else if (strcmp(argv[i], "--no-dng-version") == 0)
            dngVersion = 0;
        else
            break;
    }
    Picture p = {0, 0, NULL};
    if (argc - i != 2 ||
        !(strstr(argv[i], ".ppm") ? ReadPpm(argv[i], &p) : MakePattern(argv[i], &p))) {
        fprintf(stderr, "usage: velmo_make_dng [--orientation N] [--no-preview] "
                        "[--no-dng-version] <source.ppm | WxH> <out.dng>\n");
        return 2;
    }
    TIFF* t = TIFFOpen(argv[i + 1], "w");
    if (!t)
        return 1;
    TIFFSetField(t, TIFFTAG_MAKE, "Velmo");
    TIFFSetField(t, TIFFTAG_MODEL, "Test Camera");
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
    if (dngVersion) {
        static const uint8_t version[4] = {1, 4, 0, 0};
        static const float xyzToSrgb[9] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f,
                                           0.0415f, 0.0557f,  -0.2040f, 1.0570f};
        static const float neutral[3] = {1, 1, 1};
        TIFFSetField(t, TIFFTAG_DNGVERSION, version);
        TIFFSetField(t, TIFFTAG_DNGBACKWARDVERSION, version);
        TIFFSetField(t, TIFFTAG_UNIQUECAMERAMODEL, "Velmo Test Camera");
        TIFFSetField(t, TIFFTAG_COLORMATRIX1, 9, xyzToSrgb);
        TIFFSetField(t, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
        TIFFSetField(t, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    }
    uint64_t sub[2] = {0, 0};
    TIFFSetField(t, TIFFTAG_SUBIFD, preview ? 2 : 1, sub);
    WriteThumbnail(t, &p);
    int ok = TIFFWriteDirectory(t);
    /* The raw data last: a file cut short loses its directory. */
    if (preview)
        ok = ok && WritePreview(t, &p) && TIFFWriteDirectory(t);
    WriteRaw(t, &p);
    ok = ok && TIFFWriteDirectory(t);
    TIFFClose(t);
    free(p.rgb);
    return ok ? 0 : 1;
}
