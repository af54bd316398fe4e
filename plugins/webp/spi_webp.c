/*
 * Velmo's WebP decoder plug-in, over libwebp. Lossy, lossless and pictures
 * with alpha come out as 24-bit pictures, alpha composited over the
 * background; of an animation, the first frame on its canvas. The data is fed
 * to libwebp's incremental decoder in slices so that progress can be shown
 * and the decode stopped between them.
 */
#include "spi_common.h"

#include <string.h>
#include <webp/decode.h>
#include <webp/demux.h>

/* Bytes handed to the decoder between two looks at the decoded rows: about a
 * thirty-second of the data, within these bounds. */
#define WEBP_SLICE_MIN 512
#define WEBP_SLICE_MAX (256 * 1024)

static int WebpIsSupported(const uint8_t* head) {
    return memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "WEBP", 4) == 0 &&
           (memcmp(head + 12, "VP8 ", 4) == 0 || memcmp(head + 12, "VP8L", 4) == 0 ||
            memcmp(head + 12, "VP8X", 4) == 0);
}

static const char* WebpDescribe(char* scratch, size_t n) {
    const int v = WebPGetDecoderVersion();
    snprintf(scratch, n, "Velmo WebP decoder 1.0 (libwebp %d.%d.%d)", (v >> 16) & 0xff,
             (v >> 8) & 0xff, v & 0xff);
    return scratch;
}

static int WebpStatus(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OK:
        return SPI_SUCCESS;
    case VP8_STATUS_OUT_OF_MEMORY:
        return SPI_NO_MEMORY;
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return SPI_NOT_SUPPORT;
    default:
        return SPI_OUT_OF_ORDER;
    }
}

static int WebpGetInfo(SpiStream* s, SpiPictureInfo* out) {
    /* The size sits in the first chunk header. */
    uint8_t head[4096];
    const size_t n = SpiStreamRead(s, head, sizeof head);
    if (s->readError)
        return SPI_FILE_READ_ERROR;
    WebPBitstreamFeatures features;
    int rc = WebpStatus(WebPGetFeatures(head, n, &features));
    if (rc == SPI_SUCCESS)
        rc = SpiCheckSize(features.width, features.height);
    if (rc != SPI_SUCCESS)
        return rc;
    out->width = features.width;
    out->height = features.height;
    out->colorDepth = 24;
    return SPI_SUCCESS;
}

/* One frame of WebP data placed on the canvas of the bitmap. */
typedef struct WebpFrame {
    const uint8_t* data;
    size_t size;
    int x;
    int y;
} WebpFrame;

/* Copies decoded rows [from, to) of the frame into the bitmap. */
static void WebpCopyRows(SpiDib* dib, const WebpFrame* frame, const uint8_t* rgb, int stride,
                         int width, int alpha, int from, int to) {
    for (int y = from; y < to; ++y) {
        uint8_t* target = SpiDibRow(dib, frame->y + y) + (size_t)frame->x * 3;
        const uint8_t* source = rgb + (size_t)y * (size_t)stride;
        if (alpha)
            SpiBlendRowBgra(target, source, width);
        else
            memcpy(target, source, (size_t)width * 3);
    }
}

static int WebpDecodeFrame(const WebpFrame* frame, SpiDib* dib, SpiProgress* progress) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return SPI_OTHER_ERROR;
    int rc = WebpStatus(WebPGetFeatures(frame->data, frame->size, &config.input));
    if (rc != SPI_SUCCESS)
        return rc;
    const int width = config.input.width, height = config.input.height;
    if (width <= 0 || height <= 0 || (int64_t)frame->x + width > dib->width ||
        (int64_t)frame->y + height > dib->height)
        return SPI_OUT_OF_ORDER;
    const int alpha = config.input.has_alpha;
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    WebPIDecoder* idec = WebPIDecode(NULL, 0, &config);
    if (!idec)
        return SPI_NO_MEMORY;

    SpiProgressInit(progress, progress->callback, progress->data, height);
    rc = SpiProgressStep(progress, 0) ? SPI_ABORT : SPI_SUCCESS;
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    int copied = 0;
    size_t fed = 0;
    size_t slice = frame->size / 32;
    slice = slice < WEBP_SLICE_MIN   ? WEBP_SLICE_MIN
            : slice > WEBP_SLICE_MAX ? WEBP_SLICE_MAX
                                     : slice;
    while (rc == SPI_SUCCESS && status == VP8_STATUS_SUSPENDED && fed < frame->size) {
        fed += frame->size - fed < slice ? frame->size - fed : slice;
        status = WebPIUpdate(idec, frame->data, fed);
        if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) {
            rc = WebpStatus(status);
            break;
        }
        int lastY = 0, w = 0, h = 0, stride = 0;
        const uint8_t* rgb = WebPIDecGetRGB(idec, &lastY, &w, &h, &stride);
        if (rgb && w == width && h == height && lastY > copied && lastY <= height) {
            WebpCopyRows(dib, frame, rgb, stride, width, alpha, copied, lastY);
            copied = lastY;
            if (SpiProgressStep(progress, copied))
                rc = SPI_ABORT;
        }
    }
    if (rc == SPI_SUCCESS && (status != VP8_STATUS_OK || copied != height))
        rc = SPI_OUT_OF_ORDER; /* the data ends before the picture does */
    WebPIDelete(idec);
    WebPFreeDecBuffer(&config.output);
    return rc;
}

/* Finds the first frame of an animation and the canvas it is drawn on. */
static int WebpFirstFrame(const uint8_t* data, size_t size, WebpFrame* frame, int* canvasW,
                          int* canvasH) {
    WebPData whole = {data, size};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux)
        return SPI_OUT_OF_ORDER;
    int rc = SPI_OUT_OF_ORDER;
    WebPIterator it;
    if (WebPDemuxGetFrame(demux, 1, &it)) {
        frame->data = it.fragment.bytes;
        frame->size = it.fragment.size;
        frame->x = it.x_offset;
        frame->y = it.y_offset;
        *canvasW = (int)WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
        *canvasH = (int)WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
        rc = SPI_SUCCESS;
        WebPDemuxReleaseIterator(&it);
    }
    WebPDemuxDelete(demux);
    return rc;
}

static int WebpDecodeData(const uint8_t* data, size_t size, SpiDib* dib, SpiProgress* progress) {
    WebPBitstreamFeatures features;
    int rc = WebpStatus(WebPGetFeatures(data, size, &features));
    if (rc != SPI_SUCCESS)
        return rc;
    WebpFrame frame = {data, size, 0, 0};
    int canvasW = features.width, canvasH = features.height;
    if (features.has_animation) {
        rc = WebpFirstFrame(data, size, &frame, &canvasW, &canvasH);
        if (rc != SPI_SUCCESS)
            return rc;
    }
    rc = SpiDibCreate(dib, canvasW, canvasH, 24, 0);
    if (rc != SPI_SUCCESS)
        return rc;
    if (features.has_animation) {
        for (int32_t y = 0; y < dib->height; ++y)
            memset(SpiDibRow(dib, y), SPI_BACKGROUND, (size_t)dib->width * 3);
    }
    return WebpDecodeFrame(&frame, dib, progress);
}

static int WebpDecode(SpiStream* s, SpiDib* dib, SpiProgress* progress) {
    const uint8_t* data = NULL;
    size_t size = 0;
    uint8_t* owned = NULL;
    int rc = SpiStreamReadAll(s, &data, &size, &owned);
    if (rc == SPI_SUCCESS)
        rc = WebpDecodeData(data, size, dib, progress);
    free(owned);
    return rc;
}

static const char* const kFormats[] = {"*.webp", "WebP 画像", NULL};

static const SpiFormat kWebpFormat = {WebpDescribe, kFormats, WebpIsSupported, WebpGetInfo,
                                      WebpDecode};

SPI_DEFINE_EXPORTS(kWebpFormat);
