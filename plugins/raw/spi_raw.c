/*
 * Velmo's camera RAW decoder plug-in, over LibRaw. What is shown is the
 * largest preview the camera embedded in the file (a JPEG one decoded with
 * libjpeg, as Velmo decodes its JPEG files), turned upright by the file's
 * orientation; only a file without a usable preview is demosaiced, at half
 * size, which is quick and still larger than any screen. The picture
 * information gives the sensor's size, upright.
 *
 * LibRaw reads the whole file from memory; its messages are not printed and
 * its progress stages reach the host's callback, which can stop it between
 * them.
 */
#include "spi_common.h"

#include <jpeglib.h>
#include <libraw/libraw.h>
#include <setjmp.h>
#include <string.h>

/* A preview is used when its longer side is at least this, or half the
 * sensor's longer side on a small sensor. */
#define RAW_MIN_PREVIEW 1280

/* ---- Recognising the data ------------------------------------------------------- */

static uint32_t RawGet(const uint8_t* p, int n, int little) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = little ? v | (uint32_t)p[i] << (8 * i) : v << 8 | p[i];
    return v;
}

/* A TIFF whose first directory (when it lies in the header) names a camera
 * maker or a DNG version: most raw formats are such TIFFs. */
static int RawTiffFromCamera(const uint8_t* head) {
    const int little = head[0] == 'I';
    const uint32_t ifd = RawGet(head + 4, 4, little);
    if (ifd < 8 || ifd > 2048 - 2)
        return ifd >= 8; /* beyond the header: cannot tell */
    const uint32_t count = RawGet(head + ifd, 2, little);
    if (count == 0)
        return 1; /* the header is cut short there */
    for (uint32_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= 2048; ++i) {
        const uint32_t tag = RawGet(head + ifd + 2 + 12 * i, 2, little);
        if (tag == 0x010F /* Make */ || tag == 0xC612 /* DNGVersion */)
            return 1;
    }
    return 0;
}

static int RawIsSupported(const uint8_t* head) {
    if (memcmp(head, "II*\0", 4) == 0 || memcmp(head, "MM\0*", 4) == 0)
        return memcmp(head + 8, "CR\2", 3) == 0 || RawTiffFromCamera(head);
    return memcmp(head, "IIRO", 4) == 0 || memcmp(head, "IIRS", 4) == 0 ||  /* Olympus */
           memcmp(head, "MMOR", 4) == 0 || memcmp(head, "IIU\0", 4) == 0 || /* Panasonic */
           memcmp(head + 4, "ftypcrx ", 8) == 0 ||                          /* Canon CR3 */
           memcmp(head + 6, "HEAPCCDR", 8) == 0 ||                          /* Canon CRW */
           memcmp(head, "FUJIFILM", 8) == 0 || memcmp(head, "FOVb", 4) == 0 ||
           memcmp(head, "\0MRM", 4) == 0 || memcmp(head, "IIII", 4) == 0 ||
           memcmp(head, "MMMM", 4) == 0;
}

static const char* RawDescribe(char* scratch, size_t n) {
    snprintf(scratch, n, "Velmo camera RAW decoder 1.0 (LibRaw %s)", libraw_version());
    return scratch;
}

/* ---- LibRaw over the data --------------------------------------------------------- */

typedef struct RawJob {
    libraw_data_t* lr;
    uint8_t* owned; /* the file's bytes, when read for LibRaw */
    SpiProgress* progress;
    int reported; /* the last progress reported, of 100 */
    int aborted;
    int dataError; /* LibRaw read past the end, or found broken data */
} RawJob;

static void RawDataError(void* data, const char* file, const int offset) {
    (void)file, (void)offset;
    ((RawJob*)data)->dataError = 1;
}

static void RawQuietMemory(void* data, const char* file, const char* where) {
    (void)data, (void)file, (void)where;
}

/* Reports done of 100, never less than before; non-zero when asked to stop. */
static int RawReport(RawJob* job, int done) {
    if (done < job->reported)
        done = job->reported;
    job->reported = done;
    if (!job->aborted && job->progress && job->progress->callback &&
        job->progress->callback(done, 100, job->progress->data) != 0)
        job->aborted = 1;
    return job->aborted;
}

/* LibRaw's stages, one report each; the host may stop between them. */
static int RawStage(void* data, enum LibRaw_progress stage, int iteration, int expected) {
    (void)iteration, (void)expected;
    int bit = 0;
    while (bit < 20 && !((unsigned)stage & (1u << bit)))
        ++bit;
    return RawReport((RawJob*)data, 10 + bit * 4);
}

static int RawResult(int error) {
    switch (error) {
    case LIBRAW_SUCCESS:
        return SPI_SUCCESS;
    case LIBRAW_UNSUFFICIENT_MEMORY:
    case LIBRAW_TOO_BIG:
        return SPI_NO_MEMORY;
    case LIBRAW_CANCELLED_BY_CALLBACK:
        return SPI_ABORT;
    default:
        return SPI_OUT_OF_ORDER;
    }
}

static void RawClose(RawJob* job) {
    if (job->lr)
        libraw_close(job->lr);
    free(job->owned);
    job->lr = NULL;
    job->owned = NULL;
}

static int RawOpen(SpiStream* s, RawJob* job, SpiProgress* progress) {
    memset(job, 0, sizeof *job);
    job->progress = progress;
    const uint8_t* data;
    size_t size;
    int rc = SpiStreamReadAll(s, &data, &size, &job->owned);
    if (rc != SPI_SUCCESS)
        return rc;
    job->lr = libraw_init(LIBRAW_OPIONS_NO_MEMERR_CALLBACK | LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
    if (!job->lr) {
        RawClose(job);
        return SPI_NO_MEMORY;
    }
    libraw_set_dataerror_handler(job->lr, RawDataError, job);
    libraw_set_memerror_handler(job->lr, RawQuietMemory, NULL);
    libraw_set_progress_handler(job->lr, RawStage, job);
    /* No more memory for the raw data than the largest picture Velmo shows. */
    job->lr->params.max_raw_memory_mb = (unsigned)((SPI_MAX_PIXELS * 8) >> 20);
    rc = RawResult(libraw_open_buffer(job->lr, (void*)data, size));
    if (rc == SPI_SUCCESS && job->dataError)
        rc = SPI_OUT_OF_ORDER;
    if (rc == SPI_SUCCESS) {
        const libraw_image_sizes_t* z = &job->lr->sizes;
        rc = SpiCheckSize(z->raw_width, z->raw_height);
        if (rc == SPI_SUCCESS)
            rc = SpiCheckSize(z->width, z->height);
    }
    if (rc != SPI_SUCCESS)
        RawClose(job);
    return rc;
}

static int RawGetInfo(SpiStream* s, SpiPictureInfo* out) {
    RawJob job;
    const int rc = RawOpen(s, &job, NULL);
    if (rc != SPI_SUCCESS)
        return rc;
    const libraw_image_sizes_t* z = &job.lr->sizes;
    const int swap = (z->flip & 4) != 0;
    out->width = swap ? z->height : z->width;
    out->height = swap ? z->width : z->height;
    out->colorDepth = 24;
    RawClose(&job);
    return SPI_SUCCESS;
}

/* ---- The embedded preview ---------------------------------------------------------- */

typedef struct RawJpegError {
    struct jpeg_error_mgr pub;
    jmp_buf jump;
} RawJpegError;

static void RawJpegFail(j_common_ptr cinfo) {
    longjmp(((RawJpegError*)cinfo->err)->jump, 1);
}

static void RawJpegQuiet(j_common_ptr cinfo, int level) {
    (void)cinfo, (void)level;
}

/* Decodes a JPEG preview turned by turn into dib. The locals that setjmp
 * must keep are volatile. */
static int RawJpegPreview(RawJob* job, const uint8_t* data, size_t size, int turn, SpiDib* dib) {
    struct jpeg_decompress_struct info;
    RawJpegError err;
    uint8_t* volatile row = NULL;
    volatile int rc = SPI_OUT_OF_ORDER;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = RawJpegFail;
    err.pub.emit_message = RawJpegQuiet;
    jpeg_create_decompress(&info);
    if (setjmp(err.jump)) {
        free(row);
        jpeg_destroy_decompress(&info);
        SpiDibFree(dib);
        return rc == SPI_ABORT ? SPI_ABORT : SPI_OUT_OF_ORDER;
    }
    jpeg_mem_src(&info, data, (unsigned long)size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const int32_t w = (int32_t)info.output_width, h = (int32_t)info.output_height;
    rc = SpiDibCreateTurned(dib, w, h, turn);
    if (rc == SPI_SUCCESS && !(row = malloc((size_t)w * 3)))
        rc = SPI_NO_MEMORY;
    if (rc != SPI_SUCCESS) {
        free(row);
        jpeg_destroy_decompress(&info);
        SpiDibFree(dib);
        return rc;
    }
    const int32_t band = h / 32 > 16 ? h / 32 : 16;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row};
        const int32_t y = (int32_t)info.output_scanline;
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            longjmp(err.jump, 1);
        SpiDibPutTurnedRow(dib, turn, w, h, y, row);
        if ((y + 1) % band == 0 && RawReport(job, 50 + (int)((int64_t)49 * (y + 1) / h))) {
            rc = SPI_ABORT;
            longjmp(err.jump, 1);
        }
    }
    jpeg_finish_decompress(&info);
    /* A preview cut short or damaged is not shown half grey. */
    if (err.pub.num_warnings > 0)
        longjmp(err.jump, 1);
    jpeg_destroy_decompress(&info);
    free(row);
    return SPI_SUCCESS;
}

/* An 8-bit RGB preview, turned by turn. */
static int RawBitmapPreview(const libraw_thumbnail_t* t, int turn, SpiDib* dib) {
    const int32_t w = t->twidth, h = t->theight;
    if (t->tcolors != 3 || (uint64_t)t->tlength < (uint64_t)w * h * 3)
        return SPI_OUT_OF_ORDER;
    int rc = SpiDibCreateTurned(dib, w, h, turn);
    uint8_t* row = rc == SPI_SUCCESS ? malloc((size_t)w * 3) : NULL;
    if (rc == SPI_SUCCESS && !row)
        rc = SPI_NO_MEMORY;
    for (int32_t y = 0; rc == SPI_SUCCESS && y < h; ++y) {
        const uint8_t* rgb = (const uint8_t*)t->thumb + (size_t)y * w * 3;
        for (int32_t x = 0; x < w; ++x) {
            row[3 * x] = rgb[3 * x + 2];
            row[3 * x + 1] = rgb[3 * x + 1];
            row[3 * x + 2] = rgb[3 * x];
        }
        SpiDibPutTurnedRow(dib, turn, w, h, y, row);
    }
    free(row);
    if (rc != SPI_SUCCESS)
        SpiDibFree(dib);
    return rc;
}

/* Whether a preview of w x h is worth showing for the sensor's size. */
static int RawPreviewLargeEnough(int w, int h, const libraw_image_sizes_t* z) {
    const int side = w > h ? w : h;
    const int sensor = z->width > z->height ? z->width : z->height;
    return side >= (sensor / 2 < RAW_MIN_PREVIEW ? sensor / 2 : RAW_MIN_PREVIEW);
}

/* The preview, or SPI_NOT_SUPPORT when there is no usable one. */
static int RawPreview(RawJob* job, SpiDib* dib) {
    libraw_data_t* lr = job->lr;
    const libraw_thumbnail_t* t = &lr->thumbnail;
    if (!RawPreviewLargeEnough(t->twidth, t->theight, &lr->sizes))
        return SPI_NOT_SUPPORT;
    int rc = RawResult(libraw_unpack_thumb(lr));
    if (rc == SPI_ABORT || rc == SPI_NO_MEMORY)
        return rc;
    if (rc != SPI_SUCCESS || !t->thumb)
        return SPI_NOT_SUPPORT;
    const int turn = lr->sizes.flip & 7;
    if (t->tformat == LIBRAW_THUMBNAIL_JPEG)
        rc = RawJpegPreview(job, (const uint8_t*)t->thumb, t->tlength, turn, dib);
    else if (t->tformat == LIBRAW_THUMBNAIL_BITMAP)
        rc = RawBitmapPreview(t, turn, dib);
    else
        return SPI_NOT_SUPPORT;
    if (rc == SPI_SUCCESS && !RawPreviewLargeEnough(dib->width, dib->height, &lr->sizes)) {
        SpiDibFree(dib); /* its header told a larger size than it has */
        return SPI_NOT_SUPPORT;
    }
    return rc == SPI_OUT_OF_ORDER ? SPI_NOT_SUPPORT : rc;
}

/* ---- Half-size demosaic -------------------------------------------------------------- */

static int RawDemosaic(RawJob* job, SpiDib* dib) {
    libraw_data_t* lr = job->lr;
    lr->params.half_size = 1;
    lr->params.use_camera_wb = 1;
    lr->params.output_bps = 8;
    int rc = RawResult(libraw_unpack(lr));
    if (rc == SPI_SUCCESS && job->dataError)
        rc = SPI_OUT_OF_ORDER; /* raw data cut short */
    if (rc == SPI_SUCCESS)
        rc = RawResult(libraw_dcraw_process(lr));
    if (rc != SPI_SUCCESS)
        return rc;
    int error = LIBRAW_SUCCESS;
    libraw_processed_image_t* img = libraw_dcraw_make_mem_image(lr, &error);
    if (!img)
        return error == LIBRAW_SUCCESS ? SPI_OUT_OF_ORDER : RawResult(error);
    /* LibRaw has turned it upright already. */
    if (img->type != LIBRAW_IMAGE_BITMAP || img->colors != 3 || img->bits != 8)
        rc = SPI_OUT_OF_ORDER;
    else
        rc = SpiDibCreate(dib, img->width, img->height, 24, 0);
    for (int32_t y = 0; rc == SPI_SUCCESS && y < dib->height; ++y) {
        const uint8_t* rgb = img->data + (size_t)y * img->width * 3;
        uint8_t* out = SpiDibRow(dib, y);
        for (int32_t x = 0; x < dib->width; ++x) {
            out[3 * x] = rgb[3 * x + 2];
            out[3 * x + 1] = rgb[3 * x + 1];
            out[3 * x + 2] = rgb[3 * x];
        }
    }
    libraw_dcraw_clear_mem(img);
    return rc;
}

static int RawDecode(SpiStream* s, SpiDib* dib, SpiProgress* progress) {
    RawJob job;
    RawJob start = {.progress = progress};
    if (RawReport(&start, 0))
        return SPI_ABORT;
    int rc = RawOpen(s, &job, progress);
    if (rc != SPI_SUCCESS)
        return rc;
    rc = RawPreview(&job, dib);
    if (rc == SPI_NOT_SUPPORT)
        rc = RawDemosaic(&job, dib);
    if (rc == SPI_SUCCESS && RawReport(&job, 100))
        rc = SPI_ABORT;
    if (job.aborted && rc != SPI_SUCCESS)
        rc = SPI_ABORT;
    RawClose(&job);
    return rc;
}

/* The first line lists every extension (the file list takes a plug-in's
 * first line); then each has a line of its own, so that every one is
 * claimed (a line claims its last pattern) and a raw file is asked of this
 * plug-in before the TIFF one. */
static const char* const kFormats[] = {
    "*.cr2;*.cr3;*.crw;*.nef;*.nrw;*.arw;*.srf;*.sr2;*.raf;*.orf;*.rw2;*.pef;*.dng;*.srw;*.x3f;*."
    "3fr;*.iiq;*.erf;*.kdc;*.dcr;*.mef;*.mos;*.mrw;*.rwl",
    "カメラ RAW 画像",

    "*.cr2",
    "Canon RAW 画像",
    "*.cr3",
    "Canon RAW 画像",
    "*.crw",
    "Canon RAW 画像",
    "*.nef",
    "Nikon RAW 画像",
    "*.nrw",
    "Nikon RAW 画像",
    "*.arw",
    "Sony RAW 画像",
    "*.srf",
    "Sony RAW 画像",
    "*.sr2",
    "Sony RAW 画像",
    "*.raf",
    "Fujifilm RAW 画像",
    "*.orf",
    "Olympus RAW 画像",
    "*.rw2",
    "Panasonic RAW 画像",
    "*.pef",
    "Pentax RAW 画像",
    "*.dng",
    "DNG 画像",
    "*.srw",
    "Samsung RAW 画像",
    "*.x3f",
    "Sigma RAW 画像",
    "*.3fr",
    "Hasselblad RAW 画像",
    "*.iiq",
    "Phase One RAW 画像",
    "*.erf",
    "Epson RAW 画像",
    "*.kdc",
    "Kodak RAW 画像",
    "*.dcr",
    "Kodak RAW 画像",
    "*.mef",
    "Mamiya RAW 画像",
    "*.mos",
    "Leaf RAW 画像",
    "*.mrw",
    "Minolta RAW 画像",
    "*.rwl",
    "Leica RAW 画像",
    NULL};

static const SpiFormat kRawFormat = {RawDescribe, kFormats, RawIsSupported, RawGetInfo, RawDecode};

SPI_DEFINE_EXPORTS(kRawFormat);
