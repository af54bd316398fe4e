/*
 * Velmo's HEIF decoder plug-in, over libheif: HEIC (HEVC coded) and AVIF (AV1
 * coded) stills. The primary image is decoded with its transformations
 * (rotation, mirror, crop) applied and its grid put together; 10- and 12-bit
 * pictures come out with 8 bits, alpha composited over the background.
 *
 * libheif decodes the tiles of a grid on threads of its own and cannot be
 * interrupted, so the decode runs on a thread of this plug-in while the
 * caller's thread reports its progress. When the host asks to stop, the
 * reader refuses every further read: the tiles not yet started fail at once,
 * and the call returns as soon as those under way are done.
 */
#include "spi_common.h"

#include <libheif/heif.h>
#include <pthread.h>
#include <stdatomic.h>
#include <string.h>
#include <time.h>

/* How often the waiting thread looks at the decode and asks the host. */
#define HEIF_POLL_MS 20

static const char* const kBrands[] = {"mif1", "msf1", "heic", "heix", "hevc", "hevx",
                                      "heim", "heis", "avif", "avis", NULL};

static uint32_t HeifBe32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

static int HeifIsBrand(const uint8_t* brand) {
    for (int i = 0; kBrands[i]; ++i)
        if (memcmp(brand, kBrands[i], 4) == 0)
            return 1;
    return 0;
}

/* The file type box comes first and names a HEIF brand, as the major brand
 * or among the compatible ones. */
static int HeifIsSupported(const uint8_t* head) {
    if (memcmp(head + 4, "ftyp", 4) != 0)
        return 0;
    uint32_t size = HeifBe32(head);
    if (size < 16 || size > 2048)
        size = 2048;
    if (HeifIsBrand(head + 8))
        return 1;
    for (uint32_t at = 16; at + 4 <= size; at += 4)
        if (HeifIsBrand(head + at))
            return 1;
    return 0;
}

static const char* HeifDescribe(char* scratch, size_t n) {
    snprintf(scratch, n, "Velmo HEIF decoder 1.0 (libheif %s)", heif_get_version());
    return scratch;
}

static int HeifResult(struct heif_error error) {
    switch (error.code) {
    case heif_error_Ok:
        return SPI_SUCCESS;
    case heif_error_Memory_allocation_error:
        return SPI_NO_MEMORY;
    case heif_error_Unsupported_filetype:
        return SPI_NOT_SUPPORT;
    default:
        return error.subcode == heif_suberror_Security_limit_exceeded ? SPI_NO_MEMORY
                                                                      : SPI_OUT_OF_ORDER;
    }
}

/* ---- Reading from memory, refused once the decode is stopped ---------------- */

typedef struct HeifInput {
    const uint8_t* data;
    size_t size;
    int64_t pos;
    atomic_int stopped;
} HeifInput;

static int64_t HeifPosition(void* user) {
    return ((HeifInput*)user)->pos;
}

static int HeifRead(void* dst, size_t n, void* user) {
    HeifInput* in = user;
    if (atomic_load(&in->stopped) || in->pos < 0 || (uint64_t)in->pos > in->size ||
        n > in->size - (size_t)in->pos)
        return -1;
    if (n == 0)
        return 0;
    memcpy(dst, in->data + in->pos, n);
    in->pos += (int64_t)n;
    return 0;
}

static int HeifSeek(int64_t pos, void* user) {
    HeifInput* in = user;
    if (pos < 0 || (uint64_t)pos > in->size)
        return -1;
    in->pos = pos;
    return 0;
}

static enum heif_reader_grow_status HeifGrow(int64_t target, void* user) {
    return target >= 0 && (uint64_t)target <= ((HeifInput*)user)->size
               ? heif_reader_grow_status_size_reached
               : heif_reader_grow_status_size_beyond_eof;
}

static const struct heif_reader kReader = {1, HeifPosition, HeifRead, HeifSeek, HeifGrow};

/* Opens the data and finds its primary image, checking its size. */
static int HeifOpen(HeifInput* in, struct heif_context** ctx, struct heif_image_handle** handle) {
    *handle = NULL;
    *ctx = heif_context_alloc();
    if (!*ctx)
        return SPI_NO_MEMORY;
    heif_context_set_maximum_image_size_limit(*ctx, SPI_MAX_SIDE);
    int rc = HeifResult(heif_context_read_from_reader(*ctx, &kReader, in, NULL));
    if (rc == SPI_SUCCESS)
        rc = HeifResult(heif_context_get_primary_image_handle(*ctx, handle));
    if (rc == SPI_SUCCESS)
        rc = SpiCheckSize(heif_image_handle_get_width(*handle),
                          heif_image_handle_get_height(*handle));
    return rc;
}

static void HeifClose(struct heif_context* ctx, struct heif_image_handle* handle) {
    if (handle)
        heif_image_handle_release(handle);
    if (ctx)
        heif_context_free(ctx);
}

/* ---- The decode on its own thread ------------------------------------------- */

typedef struct HeifJob {
    struct heif_image_handle* handle;
    int alpha;
    struct heif_image* image; /* the result */
    struct heif_error error;
    atomic_int tiles; /* of the grid, 0 for a single image */
    atomic_int tilesDone;
    pthread_mutex_t lock;
    pthread_cond_t done;
    int finished; /* under lock */
} HeifJob;

static void HeifStartProgress(enum heif_progress_step step, int max, void* user) {
    if (step == heif_progress_step_load_tile)
        atomic_store(&((HeifJob*)user)->tiles, max);
}

static void HeifOnProgress(enum heif_progress_step step, int progress, void* user) {
    if (step == heif_progress_step_load_tile)
        atomic_store(&((HeifJob*)user)->tilesDone, progress);
}

static void HeifEndProgress(enum heif_progress_step step, void* user) {
    (void)step, (void)user;
}

static void* HeifDecodeThread(void* arg) {
    HeifJob* job = arg;
    struct heif_decoding_options* options = heif_decoding_options_alloc();
    if (options) {
        options->start_progress = HeifStartProgress;
        options->on_progress = HeifOnProgress;
        options->end_progress = HeifEndProgress;
        options->progress_user_data = job;
        options->convert_hdr_to_8bit = 1;
        job->error = heif_decode_image(
            job->handle, &job->image, heif_colorspace_RGB,
            job->alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
        heif_decoding_options_free(options);
    } else {
        job->error.code = heif_error_Memory_allocation_error;
    }
    pthread_mutex_lock(&job->lock);
    job->finished = 1;
    pthread_cond_signal(&job->done);
    pthread_mutex_unlock(&job->lock);
    return NULL;
}

/* Waits for the decode, asking the host between looks whether to go on; a
 * stop makes the input refuse further reads. Returns SPI_ABORT when stopped. */
static int HeifWait(HeifJob* job, HeifInput* in, SpiProgress* progress) {
    int rc = SPI_SUCCESS;
    pthread_mutex_lock(&job->lock);
    while (!job->finished) {
        struct timespec until;
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += HEIF_POLL_MS * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_nsec -= 1000000000L;
            ++until.tv_sec;
        }
        pthread_cond_timedwait(&job->done, &job->lock, &until);
        if (job->finished || rc != SPI_SUCCESS || !progress->callback)
            continue;
        pthread_mutex_unlock(&job->lock);
        /* Tiles decoded count for the first half of the progress. */
        const int tiles = atomic_load(&job->tiles), done = atomic_load(&job->tilesDone);
        const int part = tiles > 0 && done <= tiles ? (int)(50LL * done / tiles) : 0;
        if (progress->callback(part, 100, progress->data)) {
            atomic_store(&in->stopped, 1);
            rc = SPI_ABORT;
        }
        pthread_mutex_lock(&job->lock);
    }
    pthread_mutex_unlock(&job->lock);
    return rc;
}

/* Copies the decoded rows into the bitmap, bottom-up and blue first. */
static int HeifCopy(const struct heif_image* image, int alpha, int premultiplied, SpiDib* dib,
                    SpiProgress* progress) {
    int stride = 0;
    const uint8_t* rgb = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!rgb || stride <= 0)
        return SPI_OUT_OF_ORDER;
    const int channels = alpha ? 4 : 3;
    for (int32_t y = 0; y < dib->height; ++y) {
        const uint8_t* from = rgb + (size_t)y * (size_t)stride;
        uint8_t* to = SpiDibRow(dib, y);
        for (int32_t x = 0; x < dib->width; ++x, from += channels, to += 3) {
            if (!alpha || from[3] == 255) {
                to[0] = from[2], to[1] = from[1], to[2] = from[0];
            } else if (premultiplied) {
                to[0] = SpiBlendPremultiplied(from[2], from[3]);
                to[1] = SpiBlendPremultiplied(from[1], from[3]);
                to[2] = SpiBlendPremultiplied(from[0], from[3]);
            } else {
                to[0] = SpiBlend(from[2], from[3]);
                to[1] = SpiBlend(from[1], from[3]);
                to[2] = SpiBlend(from[0], from[3]);
            }
        }
        if (SpiProgressStep(progress, 50 + (int)(50LL * (y + 1) / dib->height)))
            return SPI_ABORT;
    }
    return SPI_SUCCESS;
}

static int HeifDecodeData(HeifInput* in, SpiDib* dib, SpiProgress* progress) {
    struct heif_context* ctx = NULL;
    struct heif_image_handle* handle = NULL;
    int rc = HeifOpen(in, &ctx, &handle);
    SpiProgressInit(progress, progress->callback, progress->data, 100);
    if (rc == SPI_SUCCESS && SpiProgressStep(progress, 0))
        rc = SPI_ABORT;
    HeifJob job;
    memset(&job, 0, sizeof job);
    job.handle = handle;
    job.alpha = rc == SPI_SUCCESS && heif_image_handle_has_alpha_channel(handle);
    pthread_t thread;
    if (rc == SPI_SUCCESS) {
        pthread_mutex_init(&job.lock, NULL);
        pthread_cond_init(&job.done, NULL);
        if (pthread_create(&thread, NULL, HeifDecodeThread, &job) == 0) {
            rc = HeifWait(&job, in, progress);
            pthread_join(thread, NULL);
        } else {
            rc = SPI_NO_MEMORY;
        }
        pthread_cond_destroy(&job.done);
        pthread_mutex_destroy(&job.lock);
    }
    if (rc == SPI_SUCCESS)
        rc = HeifResult(job.error);
    if (rc == SPI_SUCCESS && !job.image)
        rc = SPI_OUT_OF_ORDER;
    if (rc == SPI_SUCCESS)
        rc = SpiDibCreate(dib, heif_image_get_primary_width(job.image),
                          heif_image_get_primary_height(job.image), 24, 0);
    if (rc == SPI_SUCCESS)
        rc = HeifCopy(job.image, job.alpha, heif_image_handle_is_premultiplied_alpha(handle), dib,
                      progress);
    if (job.image)
        heif_image_release(job.image);
    HeifClose(ctx, handle);
    return rc;
}

/* Reads the whole data, then decodes it into dib, or with dib NULL fills
 * the picture information alone. */
static int HeifRun(SpiStream* s, SpiPictureInfo* out, SpiDib* dib, SpiProgress* progress) {
    const uint8_t* data = NULL;
    size_t size = 0;
    uint8_t* owned = NULL;
    int rc = SpiStreamReadAll(s, &data, &size, &owned);
    HeifInput in = {data, size, 0, 0};
    if (rc == SPI_SUCCESS && dib) {
        rc = HeifDecodeData(&in, dib, progress);
    } else if (rc == SPI_SUCCESS) {
        struct heif_context* ctx = NULL;
        struct heif_image_handle* handle = NULL;
        rc = HeifOpen(&in, &ctx, &handle);
        if (rc == SPI_SUCCESS) {
            out->width = heif_image_handle_get_width(handle);
            out->height = heif_image_handle_get_height(handle);
            out->colorDepth = 24;
        }
        HeifClose(ctx, handle);
    }
    free(owned);
    return rc;
}

static int HeifGetInfo(SpiStream* s, SpiPictureInfo* out) {
    return HeifRun(s, out, NULL, NULL);
}

static int HeifDecode(SpiStream* s, SpiDib* dib, SpiProgress* progress) {
    return HeifRun(s, NULL, dib, progress);
}

/* All patterns on the first line: the host lists the files of a folder by
 * each plug-in's first line alone. */
static const char* const kFormats[] = {"*.heic;*.heif;*.hif;*.avif", "HEIF/AVIF 画像", NULL};

static const SpiFormat kHeifFormat = {HeifDescribe, kFormats, HeifIsSupported, HeifGetInfo,
                                      HeifDecode};

SPI_DEFINE_EXPORTS(kHeifFormat);
