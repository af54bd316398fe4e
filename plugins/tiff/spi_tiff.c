/*
 * Velmo's TIFF decoder plug-in, over libtiff's RGBA interface, which covers
 * every photometric interpretation it knows (grey, palette, RGB, CMYK,
 * YCbCr, CIE Lab, ...). The first page comes out as a 24-bit picture, alpha
 * composited over the background.
 *
 * libtiff reads through our own procedures (a file from an offset, or
 * memory), its messages go to a handler of this decode alone (so nothing is
 * printed and no global handler is changed), and any error counts as broken
 * data.
 */
#include "spi_common.h"

#include <string.h>
#include <tiffio.h>

/* The most libtiff may allocate at once for one buffer. */
#define TIFF_MAX_ALLOC (256 * 1024 * 1024)

static int TiffIsSupported(const uint8_t* head) {
    return memcmp(head, "II*\0", 4) == 0 || memcmp(head, "MM\0*", 4) == 0 ||
           memcmp(head, "II+\0", 4) == 0 || memcmp(head, "MM\0+", 4) == 0;
}

static const char* TiffDescribe(char* scratch, size_t n) {
    /* TIFFGetVersion() is "LIBTIFF, Version x.y.z\nCopyright ...". */
    const char* text = TIFFGetVersion();
    const char* version = strstr(text, "Version ");
    version = version ? version + 8 : "?";
    const size_t len = strcspn(version, "\n");
    snprintf(scratch, n, "Velmo TIFF decoder 1.0 (libtiff %.*s)", (int)len, version);
    return scratch;
}

/* ---- libtiff's view of the stream ---------------------------------------------- */

static tsize_t TiffRead(thandle_t h, tdata_t dst, tsize_t n) {
    if (n <= 0)
        return 0;
    return (tsize_t)SpiStreamRead((SpiStream*)h, dst, (size_t)n);
}

static tsize_t TiffWrite(thandle_t h, tdata_t src, tsize_t n) {
    (void)h, (void)src, (void)n;
    return -1;
}

static toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
    SpiStream* s = (SpiStream*)h;
    uint64_t target;
    switch (whence) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = s->pos + offset;
        break;
    case SEEK_END:
        target = s->size + offset;
        break;
    default:
        return (toff_t)-1;
    }
    return SpiStreamSeek(s, target) == 0 ? (toff_t)target : (toff_t)-1;
}

static int TiffClose(thandle_t h) {
    (void)h;
    return 0;
}

static toff_t TiffSize(thandle_t h) {
    return ((SpiStream*)h)->size;
}

/* Memory input is handed to libtiff as a mapped file: no copies. */
static int TiffMap(thandle_t h, tdata_t* base, toff_t* size) {
    SpiStream* s = (SpiStream*)h;
    if (!s->mem)
        return 0;
    *base = (tdata_t)s->mem;
    *size = s->size;
    return 1;
}

static void TiffUnmap(thandle_t h, tdata_t base, toff_t size) {
    (void)h, (void)base, (void)size;
}

static int TiffQuiet(TIFF* tif, void* user, const char* module, const char* fmt, va_list ap) {
    (void)tif, (void)user, (void)module, (void)fmt, (void)ap;
    return 1; /* handled: libtiff prints nothing */
}

static TIFF* TiffOpen(SpiStream* s) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return NULL;
    TIFFOpenOptionsSetErrorHandlerExtR(options, TiffQuiet, NULL);
    TIFFOpenOptionsSetWarningHandlerExtR(options, TiffQuiet, NULL);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, TIFF_MAX_ALLOC);
    TIFF* tif = TIFFClientOpenExt("", s->mem ? "r" : "rm", (thandle_t)s, TiffRead, TiffWrite,
                                  TiffSeek, TiffClose, TiffSize, TiffMap, TiffUnmap, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

static void TiffDpi(TIFF* tif, double* xdpi, double* ydpi) {
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_INCH;
    *xdpi = *ydpi = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) ||
        !TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres))
        return;
    const double scale = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
    *xdpi = xres * scale;
    *ydpi = yres * scale;
}

static int TiffSizeOf(TIFF* tif, uint32_t* w, uint32_t* h) {
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, h))
        return SPI_OUT_OF_ORDER;
    return SpiCheckSize(*w, *h);
}

static int TiffGetInfo(SpiStream* s, SpiPictureInfo* out) {
    TIFF* tif = TiffOpen(s);
    if (!tif)
        return SpiStreamFailure(s);
    uint32_t w = 0, h = 0;
    const int rc = TiffSizeOf(tif, &w, &h);
    if (rc == SPI_SUCCESS) {
        double xdpi, ydpi;
        TiffDpi(tif, &xdpi, &ydpi);
        out->width = (int32_t)w;
        out->height = (int32_t)h;
        out->x_density = (uint16_t)(xdpi < 65535 ? xdpi + 0.5 : 0);
        out->y_density = (uint16_t)(ydpi < 65535 ? ydpi + 0.5 : 0);
        out->colorDepth = 24;
    }
    TIFFClose(tif);
    return rc;
}

/* Rows to read at once: whole strips or tile rows, so that none is decoded
 * twice, and about a thirty-second of the picture. */
static uint32_t TiffBand(TIFF* tif, uint32_t height) {
    uint32_t unit = 0;
    if (TIFFIsTiled(tif))
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    if (unit == 0 || unit > height)
        unit = height;
    uint32_t band = unit;
    while (band < height / 32 && band <= height - unit)
        band += unit;
    return band;
}

/* Whether the file's first row is the top of the picture. */
static int TiffTopFirst(uint16_t orientation) {
    switch (orientation) {
    case ORIENTATION_BOTRIGHT:
    case ORIENTATION_BOTLEFT:
    case ORIENTATION_LEFTBOT:
    case ORIENTATION_RIGHTBOT:
        return 0;
    default:
        return 1;
    }
}

static int TiffDecodeImage(TIFF* tif, TIFFRGBAImage* img, uint32_t* raster, uint32_t band,
                           SpiDib* dib, SpiProgress* progress) {
    const uint32_t w = img->width, h = img->height;
    const int topFirst = TiffTopFirst(img->orientation);
    SpiProgressInit(progress, progress->callback, progress->data, (int)h);
    if (SpiProgressStep(progress, 0))
        return SPI_ABORT;
    for (uint32_t y0 = 0; y0 < h; y0 += band) {
        const uint32_t n = band < h - y0 ? band : h - y0;
        img->row_offset = (int)y0;
        img->col_offset = 0;
        /* The band comes bottom row first (libtiff's default orientation). */
        if (!TIFFRGBAImageGet(img, raster, w, n))
            return SPI_OUT_OF_ORDER;
        const uint32_t bottom = topFirst ? h - y0 - n : y0; /* bitmap row of raster row 0 */
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t* target = dib->pixels + (size_t)(bottom + i) * dib->stride;
            const uint32_t* source = raster + (size_t)i * w;
            for (uint32_t x = 0; x < w; ++x, target += 3) {
                const uint32_t p = source[x];
                const unsigned a = TIFFGetA(p);
                target[0] = SpiBlendPremultiplied(TIFFGetB(p), a);
                target[1] = SpiBlendPremultiplied(TIFFGetG(p), a);
                target[2] = SpiBlendPremultiplied(TIFFGetR(p), a);
            }
        }
        if (SpiProgressStep(progress, (int)(y0 + n)))
            return SPI_ABORT;
    }
    (void)tif;
    return SPI_SUCCESS;
}

static int TiffDecodeOpen(TIFF* tif, SpiDib* dib, SpiProgress* progress) {
    uint32_t w = 0, h = 0;
    int rc = TiffSizeOf(tif, &w, &h);
    if (rc != SPI_SUCCESS)
        return rc;
    char message[1024];
    if (!TIFFRGBAImageOK(tif, message))
        return SPI_NOT_SUPPORT; /* a TIFF of a kind libtiff cannot show */
    TIFFRGBAImage img;
    if (!TIFFRGBAImageBegin(&img, tif, 1, message))
        return SPI_OUT_OF_ORDER;
    img.req_orientation = ORIENTATION_BOTLEFT;
    rc = SpiDibCreate(dib, w, h, 24, 0);
    if (rc == SPI_SUCCESS) {
        double xdpi, ydpi;
        TiffDpi(tif, &xdpi, &ydpi);
        SpiDibSetDpi(dib, xdpi, ydpi);
        const uint32_t band = TiffBand(tif, h);
        uint32_t* raster = malloc((size_t)w * band * sizeof(uint32_t));
        if (!raster)
            rc = SPI_NO_MEMORY;
        else
            rc = TiffDecodeImage(tif, &img, raster, band, dib, progress);
        free(raster);
    }
    TIFFRGBAImageEnd(&img);
    return rc;
}

static int TiffDecode(SpiStream* s, SpiDib* dib, SpiProgress* progress) {
    TIFF* tif = TiffOpen(s);
    if (!tif)
        return SpiStreamFailure(s);
    int rc = TiffDecodeOpen(tif, dib, progress);
    if (rc == SPI_OUT_OF_ORDER && s->readError)
        rc = SPI_FILE_READ_ERROR;
    TIFFClose(tif);
    return rc;
}

static const char* const kFormats[] = {"*.tif;*.tiff", "TIFF 画像", NULL};

static const SpiFormat kTiffFormat = {TiffDescribe, kFormats, TiffIsSupported, TiffGetInfo,
                                      TiffDecode};

SPI_DEFINE_EXPORTS(kTiffFormat);
