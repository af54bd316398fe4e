/*
 * Velmo's PNG decoder plug-in, over libpng.
 *
 * Palette pictures come out as 8-bit pictures with their palette (entries
 * with transparency mixed with the background), grey pictures without
 * transparency as 8-bit pictures with a grey ramp, everything else as 24-bit
 * pictures; transparency is composited over the background.
 */
#include "spi_common.h"

#include <png.h>
#include <setjmp.h>
#include <string.h>

static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

static int PngIsSupported(const uint8_t* head) {
    return memcmp(head, kSignature, sizeof kSignature) == 0;
}

static const char* PngDescribe(char* scratch, size_t n) {
    snprintf(scratch, n, "Velmo PNG decoder 1.0 (libpng %s)", png_get_libpng_ver(NULL));
    return scratch;
}

/* One decode: everything that must be released, whichever way it ends. */
typedef struct PngJob {
    SpiStream* stream;
    png_structp png;
    png_infop info;
    uint8_t* scratch;
    int result; /* the code to return when libpng gives up */
} PngJob;

static void PngRead(png_structp png, png_bytep data, size_t n) {
    PngJob* job = (PngJob*)png_get_io_ptr(png);
    if (SpiStreamRead(job->stream, data, n) != n) {
        job->result = SpiStreamFailure(job->stream);
        png_error(png, "truncated");
    }
}

static void PngError(png_structp png, png_const_charp message) {
    PngJob* job = (PngJob*)png_get_error_ptr(png);
    if (job->result == SPI_SUCCESS)
        job->result = strstr(message, "memory") ? SPI_NO_MEMORY : SPI_OUT_OF_ORDER;
    png_longjmp(png, 1);
}

static void PngWarning(png_structp png, png_const_charp message) {
    (void)png;
    (void)message;
}

static int PngOpen(PngJob* job, SpiStream* s) {
    memset(job, 0, sizeof *job);
    job->stream = s;
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, PngError, PngWarning);
    if (!job->png)
        return SPI_NO_MEMORY;
    job->info = png_create_info_struct(job->png);
    if (!job->info) {
        png_destroy_read_struct(&job->png, NULL, NULL);
        return SPI_NO_MEMORY;
    }
    png_set_read_fn(job->png, job, PngRead);
    return SPI_SUCCESS;
}

static void PngClose(PngJob* job) {
    if (job->png)
        png_destroy_read_struct(&job->png, &job->info, NULL);
    free(job->scratch);
    job->scratch = NULL;
}

/* How a picture is turned into a bitmap. */
typedef enum { pkPalette, pkGrey, pkTrueColour } TPngKind;

static TPngKind PngKind(png_structp png, png_infop info) {
    const int colourType = png_get_color_type(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        return pkPalette;
    if (colourType == PNG_COLOR_TYPE_GRAY && !png_get_valid(png, info, PNG_INFO_tRNS))
        return pkGrey;
    return pkTrueColour;
}

static void PngDpi(png_structp png, png_infop info, double* xdpi, double* ydpi) {
    png_uint_32 xres = 0, yres = 0;
    int unit = 0;
    *xdpi = *ydpi = 0;
    if (png_get_pHYs(png, info, &xres, &yres, &unit) && unit == PNG_RESOLUTION_METER) {
        *xdpi = xres * 0.0254;
        *ydpi = yres * 0.0254;
    }
}

static int PngReadInfo(PngJob* job, SpiPictureInfo* out) {
    if (setjmp(png_jmpbuf(job->png)))
        return job->result;
    png_read_info(job->png, job->info);
    const png_uint_32 w = png_get_image_width(job->png, job->info);
    const png_uint_32 h = png_get_image_height(job->png, job->info);
    const int rc = SpiCheckSize(w, h);
    if (rc != SPI_SUCCESS)
        return rc;
    double xdpi, ydpi;
    PngDpi(job->png, job->info, &xdpi, &ydpi);
    out->width = (int32_t)w;
    out->height = (int32_t)h;
    out->x_density = (uint16_t)(xdpi < 65535 ? xdpi + 0.5 : 0);
    out->y_density = (uint16_t)(ydpi < 65535 ? ydpi + 0.5 : 0);
    out->colorDepth = PngKind(job->png, job->info) == pkTrueColour ? 24 : 8;
    return SPI_SUCCESS;
}

static int PngGetInfo(SpiStream* s, SpiPictureInfo* out) {
    PngJob job;
    int rc = PngOpen(&job, s);
    if (rc == SPI_SUCCESS)
        rc = PngReadInfo(&job, out);
    PngClose(&job);
    return rc;
}

/* The colour table of a palette picture, transparent entries mixed with the
 * background. Entries the file lacks stay black. */
static void PngPalette(png_structp png, png_infop info, SpiRgbQuad* table) {
    png_colorp palette = NULL;
    int count = 0;
    png_bytep alpha = NULL;
    int alphaCount = 0;
    png_color_16p transColour = NULL;
    png_get_PLTE(png, info, &palette, &count);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_get_tRNS(png, info, &alpha, &alphaCount, &transColour);
    for (int i = 0; i < count && i < 256; ++i) {
        const unsigned a = (alpha && i < alphaCount) ? alpha[i] : 255u;
        table[i].rgbRed = SpiBlend(palette[i].red, a);
        table[i].rgbGreen = SpiBlend(palette[i].green, a);
        table[i].rgbBlue = SpiBlend(palette[i].blue, a);
    }
}

static int PngDecodeRows(PngJob* job, SpiDib* dib, SpiProgress* progress) {
    png_structp png = job->png;
    png_infop info = job->info;
    if (setjmp(png_jmpbuf(png)))
        return job->result;
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    int rc = SpiCheckSize(w, h);
    if (rc != SPI_SUCCESS)
        return rc;

    const TPngKind kind = PngKind(png, info);
    int alpha = 0;
    if (kind == pkPalette) {
        png_set_packing(png);
    } else if (kind == pkGrey) {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_scale_16(png);
    } else {
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) ||
                png_get_valid(png, info, PNG_INFO_tRNS);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const size_t pixelBytes = kind == pkTrueColour ? (alpha ? 4u : 3u) : 1u;
    if (png_get_rowbytes(png, info) != (size_t)w * pixelBytes)
        return SPI_OTHER_ERROR;

    rc = SpiDibCreate(dib, w, h, kind == pkTrueColour ? 24 : 8, kind == pkTrueColour ? 0 : 256);
    if (rc != SPI_SUCCESS)
        return rc;
    double xdpi, ydpi;
    PngDpi(png, info, &xdpi, &ydpi);
    SpiDibSetDpi(dib, xdpi, ydpi);
    if (kind == pkPalette) {
        PngPalette(png, info, dib->colors);
    } else if (kind == pkGrey) {
        for (int i = 0; i < 256; ++i)
            dib->colors[i].rgbRed = dib->colors[i].rgbGreen = dib->colors[i].rgbBlue = (uint8_t)i;
    }

    /* Pictures with alpha are read into a scratch buffer (one row, or all of
     * them when interlaced) and composited into the bitmap; the others are
     * read straight into the bitmap's rows. */
    const size_t rowBytes = (size_t)w * pixelBytes;
    if (alpha) {
        job->scratch = malloc(passes > 1 ? rowBytes * h : rowBytes);
        if (!job->scratch)
            return SPI_NO_MEMORY;
    }
    SpiProgressInit(progress, progress->callback, progress->data, passes * (int)h);
    if (SpiProgressStep(progress, 0))
        return SPI_ABORT;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t* target = SpiDibRow(dib, (int32_t)y);
            if (alpha && passes > 1) {
                png_read_row(png, job->scratch + rowBytes * y, NULL);
            } else if (alpha) {
                png_read_row(png, job->scratch, NULL);
                SpiBlendRowBgra(target, job->scratch, (int32_t)w);
            } else {
                png_read_row(png, target, NULL);
            }
            if (SpiProgressStep(progress, pass * (int)h + (int)y + 1))
                return SPI_ABORT;
        }
    }
    if (alpha && passes > 1) {
        for (png_uint_32 y = 0; y < h; ++y)
            SpiBlendRowBgra(SpiDibRow(dib, (int32_t)y), job->scratch + rowBytes * y, (int32_t)w);
    }
    return SPI_SUCCESS;
}

static int PngDecode(SpiStream* s, SpiDib* dib, SpiProgress* progress) {
    PngJob job;
    int rc = PngOpen(&job, s);
    if (rc == SPI_SUCCESS)
        rc = PngDecodeRows(&job, dib, progress);
    PngClose(&job);
    return rc;
}

static const char* const kFormats[] = {"*.png", "PNG 画像", NULL};

static const SpiFormat kPngFormat = {PngDescribe, kFormats, PngIsSupported, PngGetInfo, PngDecode};

SPI_DEFINE_EXPORTS(kPngFormat);
