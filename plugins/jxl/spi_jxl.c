/*
 * Velmo's JPEG XL decoder plug-in, over libjxl. Pictures come out as 24-bit
 * pictures turned upright by their orientation, 16-bit and floating-point
 * samples reduced to 8 bits by libjxl, grey spread to three channels, alpha
 * composited over the background, CMYK with its black channel applied; of
 * an animation, the first frame.
 *
 * libjxl decodes on a pool of threads made for each decode. The data is fed
 * in slices, so that progress can be shown between them and a stop asked by
 * the host ends the decode after the slice under way; the pool ends with it.
 */
#include "spi_common.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>
#include <string.h>

/* Bytes handed to the decoder between two reports: about a thirty-second of
 * the data, within these bounds. */
#define JXL_SLICE_MIN (16 * 1024)
#define JXL_SLICE_MAX (1024 * 1024)

static int JxlIsSupported(const uint8_t* head) {
    const JxlSignature sig = JxlSignatureCheck(head, 12);
    return sig == JXL_SIG_CODESTREAM || sig == JXL_SIG_CONTAINER;
}

static const char* JxlDescribe(char* scratch, size_t n) {
    const uint32_t v = JxlDecoderVersion();
    snprintf(scratch, n, "Velmo JPEG XL decoder 1.0 (libjxl %u.%u.%u)", v / 1000000,
             v / 1000 % 1000, v % 1000);
    return scratch;
}

/* What the decode needs beside libjxl's own state. */
typedef struct JxlWork {
    SpiDib* dib;
    int alpha;        /* the output has a fourth, alpha, channel */
    uint8_t* black;   /* the black channel of a CMYK picture, else NULL */
    int blackChannel; /* its index among the extra channels, else -1 */
} JxlWork;

/* Called by the decoder's threads with runs of finished pixels, in RGB(A)
 * order, each run in a row of its own: written into the bitmap. */
static void JxlPixels(void* opaque, size_t x, size_t y, size_t n, const void* pixels) {
    const JxlWork* work = opaque;
    const SpiDib* dib = work->dib;
    if (y >= (size_t)dib->height || x >= (size_t)dib->width || n > (size_t)dib->width - x)
        return;
    const uint8_t* from = pixels;
    uint8_t* to = SpiDibRow(dib, (int32_t)y) + x * 3;
    for (size_t i = 0; i < n; ++i, to += 3) {
        if (work->alpha) {
            const unsigned a = from[3];
            to[0] = SpiBlend(from[2], a), to[1] = SpiBlend(from[1], a),
            to[2] = SpiBlend(from[0], a);
            from += 4;
        } else {
            to[0] = from[2], to[1] = from[1], to[2] = from[0];
            from += 3;
        }
    }
}

/* The colour channels of CMYK hold the inverted inks; the black channel,
 * inverted too, darkens them. */
static void JxlApplyBlack(const JxlWork* work) {
    const SpiDib* dib = work->dib;
    for (int32_t y = 0; y < dib->height; ++y) {
        uint8_t* row = SpiDibRow(dib, y);
        const uint8_t* k = work->black + (size_t)y * (size_t)dib->width;
        for (int32_t x = 0; x < dib->width * 3; ++x)
            row[x] = (uint8_t)((row[x] * k[x / 3] + 127u) / 255u);
    }
}

/* Makes the bitmap and tells the decoder where the pixels go. */
static int JxlSetOutput(JxlDecoder* dec, const JxlBasicInfo* info, JxlWork* work) {
    /* libjxl turns the picture upright and gives the sizes after the turn. */
    const int rc = SpiDibCreate(work->dib, info->xsize, info->ysize, 24, 0);
    if (rc != SPI_SUCCESS)
        return rc;
    work->alpha = info->alpha_bits > 0;
    const JxlPixelFormat format = {work->alpha ? 4 : 3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    if (JxlDecoderSetImageOutCallback(dec, &format, JxlPixels, work) != JXL_DEC_SUCCESS)
        return SPI_OUT_OF_ORDER;
    if (work->blackChannel >= 0) {
        const JxlPixelFormat one = {1, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        size_t bytes = 0;
        if (JxlDecoderExtraChannelBufferSize(dec, &one, &bytes, (uint32_t)work->blackChannel) !=
                JXL_DEC_SUCCESS ||
            bytes != (size_t)work->dib->width * (size_t)work->dib->height)
            return SPI_OUT_OF_ORDER;
        work->black = malloc(bytes);
        if (!work->black)
            return SPI_NO_MEMORY;
        if (JxlDecoderSetExtraChannelBuffer(dec, &one, work->black, bytes,
                                            (uint32_t)work->blackChannel) != JXL_DEC_SUCCESS)
            return SPI_OUT_OF_ORDER;
    }
    return SPI_SUCCESS;
}

/* Finds the black channel among the extra channels. */
static void JxlFindBlack(JxlDecoder* dec, const JxlBasicInfo* info, JxlWork* work) {
    work->blackChannel = -1;
    for (uint32_t i = 0; i < info->num_extra_channels; ++i) {
        JxlExtraChannelInfo extra;
        if (JxlDecoderGetExtraChannelInfo(dec, i, &extra) == JXL_DEC_SUCCESS &&
            extra.type == JXL_CHANNEL_BLACK) {
            work->blackChannel = (int)i;
            return;
        }
    }
}

/* Runs the decoder over the data until the first frame is complete (dib
 * NULL: until the basic information is known, which then fills info). */
static int JxlRun(const uint8_t* data, size_t size, JxlBasicInfo* info, SpiDib* dib,
                  SpiProgress* progress) {
    JxlDecoder* dec = JxlDecoderCreate(NULL);
    void* runner = NULL;
    if (!dec)
        return SPI_NO_MEMORY;
    int events = JXL_DEC_BASIC_INFO;
    if (dib) {
        events |= JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE;
        runner =
            JxlThreadParallelRunnerCreate(NULL, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    }
    int rc = SPI_SUCCESS;
    if (JxlDecoderSubscribeEvents(dec, events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(dec, JXL_TRUE) != JXL_DEC_SUCCESS ||
        (dib && (!runner || JxlDecoderSetParallelRunner(dec, JxlThreadParallelRunner, runner) !=
                                JXL_DEC_SUCCESS)))
        rc = SPI_NO_MEMORY;

    JxlWork work = {dib, 0, NULL, -1};
    size_t slice = size / 32;
    slice = slice < JXL_SLICE_MIN ? JXL_SLICE_MIN : slice > JXL_SLICE_MAX ? JXL_SLICE_MAX : slice;
    size_t fed = 0, done = 0; /* bytes given, bytes the decoder has finished with */
    int slices = 0;
    const int total = (int)((size + slice - 1) / slice);
    if (dib)
        SpiProgressInit(progress, progress->callback, progress->data, total > 0 ? total : 1);
    if (rc == SPI_SUCCESS && dib && SpiProgressStep(progress, 0))
        rc = SPI_ABORT;
    int finished = 0;
    while (rc == SPI_SUCCESS && !finished) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
        switch (status) {
        case JXL_DEC_NEED_MORE_INPUT: {
            if (fed >= size) {
                rc = SPI_OUT_OF_ORDER; /* the data ends before the picture does */
                break;
            }
            done = fed - JxlDecoderReleaseInput(dec);
            fed += size - fed < slice ? size - fed : slice;
            if (JxlDecoderSetInput(dec, data + done, fed - done) != JXL_DEC_SUCCESS)
                rc = SPI_OTHER_ERROR;
            else if (fed >= size)
                JxlDecoderCloseInput(dec);
            if (rc == SPI_SUCCESS && dib &&
                SpiProgressStep(progress, slices++ < total ? slices : total))
                rc = SPI_ABORT;
            break;
        }
        case JXL_DEC_BASIC_INFO:
            if (JxlDecoderGetBasicInfo(dec, info) != JXL_DEC_SUCCESS)
                rc = SPI_OUT_OF_ORDER;
            else
                rc = SpiCheckSize(info->xsize, info->ysize);
            if (rc == SPI_SUCCESS && !dib)
                finished = 1;
            else if (rc == SPI_SUCCESS)
                JxlFindBlack(dec, info, &work);
            break;
        case JXL_DEC_COLOR_ENCODING:
            /* Pictures coded in the decoder's own colour space come out as
             * sRGB; the others as they were made. */
            if (!info->uses_original_profile) {
                JxlColorEncoding srgb;
                memset(&srgb, 0, sizeof srgb);
                srgb.color_space =
                    info->num_color_channels == 1 ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
                srgb.white_point = JXL_WHITE_POINT_D65;
                srgb.primaries = JXL_PRIMARIES_SRGB;
                srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
                srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
                JxlDecoderSetPreferredColorProfile(dec, &srgb);
            }
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
            rc = JxlSetOutput(dec, info, &work);
            break;
        case JXL_DEC_FULL_IMAGE:
            finished = 1; /* of an animation, the first frame */
            break;
        case JXL_DEC_SUCCESS:
            rc = SPI_OUT_OF_ORDER; /* ended without a picture */
            break;
        default:
            rc = SPI_OUT_OF_ORDER;
            break;
        }
    }
    if (rc == SPI_SUCCESS && work.black)
        JxlApplyBlack(&work);
    if (rc == SPI_SUCCESS && dib && SpiProgressStep(progress, total > 0 ? total : 1))
        rc = SPI_ABORT;
    JxlDecoderDestroy(dec);
    if (runner)
        JxlThreadParallelRunnerDestroy(runner);
    free(work.black);
    return rc;
}

/* Reads the whole data and runs the decoder over it. */
static int JxlRunStream(SpiStream* s, JxlBasicInfo* info, SpiDib* dib, SpiProgress* progress) {
    const uint8_t* data = NULL;
    size_t size = 0;
    uint8_t* owned = NULL;
    int rc = SpiStreamReadAll(s, &data, &size, &owned);
    if (rc == SPI_SUCCESS)
        rc = JxlRun(data, size, info, dib, progress);
    free(owned);
    return rc;
}

static int JxlGetInfo(SpiStream* s, SpiPictureInfo* out) {
    JxlBasicInfo info;
    const int rc = JxlRunStream(s, &info, NULL, NULL);
    if (rc == SPI_SUCCESS) {
        out->width = (int32_t)info.xsize;
        out->height = (int32_t)info.ysize;
        out->colorDepth = 24;
    }
    return rc;
}

static int JxlDecode(SpiStream* s, SpiDib* dib, SpiProgress* progress) {
    JxlBasicInfo info;
    const int rc = JxlRunStream(s, &info, dib, progress);
    return rc == SPI_SUCCESS && !dib->info ? SPI_OUT_OF_ORDER : rc;
}

static const char* const kFormats[] = {"*.jxl", "JPEG XL 画像", NULL};

static const SpiFormat kJxlFormat = {JxlDescribe, kFormats, JxlIsSupported, JxlGetInfo, JxlDecode};

SPI_DEFINE_EXPORTS(kJxlFormat);
