/*
 * Velmo's GIF decoder plug-in, over giflib. Decodes the first frame of the
 * file onto a canvas of the logical screen's size, as an 8-bit picture with a
 * 256-entry colour table. The transparent colour (and the canvas outside the
 * frame) shows the background.
 */
#include "spi_common.h"

#include <gif_lib.h>
#include <string.h>

#define GIF_STR2(x) #x
#define GIF_STR(x) GIF_STR2(x)

static int GifIsSupported(const uint8_t* head) {
    return memcmp(head, "GIF87a", 6) == 0 || memcmp(head, "GIF89a", 6) == 0;
}

static const char* GifDescribe(char* scratch, size_t n) {
    (void)scratch;
    (void)n;
    return "Velmo GIF decoder 1.0 (giflib " GIF_STR(GIFLIB_MAJOR) "." GIF_STR(
        GIFLIB_MINOR) "." GIF_STR(GIFLIB_RELEASE) ")";
}

static int GifRead(GifFileType* gif, GifByteType* dst, int n) {
    if (n <= 0)
        return 0;
    return (int)SpiStreamRead((SpiStream*)gif->UserData, dst, (size_t)n);
}

/* The first frame's description and what it needs from the file. */
typedef struct GifFrame {
    GifFileType* gif;
    int transparent; /* transparent colour index, or -1 */
    int64_t canvasW; /* logical screen, grown to hold the frame */
    int64_t canvasH;
} GifFrame;

static int GifError(const SpiStream* s, int error) {
    if (error == D_GIF_ERR_NOT_ENOUGH_MEM)
        return SPI_NO_MEMORY;
    if (error == D_GIF_ERR_NOT_GIF_FILE)
        return SPI_NOT_SUPPORT;
    return SpiStreamFailure(s);
}

/* Opens the file and reads up to the first frame's image descriptor. */
static int GifOpenFrame(SpiStream* s, GifFrame* frame) {
    memset(frame, 0, sizeof *frame);
    frame->transparent = -1;
    int error = 0;
    frame->gif = DGifOpen(s, GifRead, &error);
    if (!frame->gif)
        return GifError(s, error);
    GifFileType* gif = frame->gif;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK)
            return GifError(s, gif->Error);
        if (type == IMAGE_DESC_RECORD_TYPE)
            break;
        if (type == TERMINATE_RECORD_TYPE)
            return SPI_OUT_OF_ORDER; /* no picture in the file */
        if (type != EXTENSION_RECORD_TYPE)
            return SPI_OUT_OF_ORDER;
        int code = 0;
        GifByteType* ext = NULL;
        if (DGifGetExtension(gif, &code, &ext) != GIF_OK)
            return GifError(s, gif->Error);
        if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                frame->transparent = gcb.TransparentColor;
        }
        while (ext) {
            if (DGifGetExtensionNext(gif, &ext) != GIF_OK)
                return GifError(s, gif->Error);
        }
    }
    if (DGifGetImageDesc(gif) != GIF_OK)
        return GifError(s, gif->Error);
    const GifImageDesc* d = &gif->Image;
    const int rc = SpiCheckSize(d->Width, d->Height);
    if (rc != SPI_SUCCESS)
        return rc;
    frame->canvasW = gif->SWidth;
    frame->canvasH = gif->SHeight;
    if ((int64_t)d->Left + d->Width > frame->canvasW)
        frame->canvasW = (int64_t)d->Left + d->Width;
    if ((int64_t)d->Top + d->Height > frame->canvasH)
        frame->canvasH = (int64_t)d->Top + d->Height;
    return SpiCheckSize(frame->canvasW, frame->canvasH);
}

static void GifCloseFrame(GifFrame* frame) {
    if (frame->gif) {
        int error = 0;
        DGifCloseFile(frame->gif, &error);
    }
    frame->gif = NULL;
}

static int GifGetInfo(SpiStream* s, SpiPictureInfo* out) {
    GifFrame frame;
    const int rc = GifOpenFrame(s, &frame);
    if (rc == SPI_SUCCESS) {
        out->width = (int32_t)frame.canvasW;
        out->height = (int32_t)frame.canvasH;
        out->colorDepth = 8;
    }
    GifCloseFrame(&frame);
    return rc;
}

/* Fills the colour table and returns the index that shows the background. */
static int GifColourTable(const GifFrame* frame, SpiRgbQuad* table) {
    const GifFileType* gif = frame->gif;
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    int count = 0;
    if (map && map->Colors && map->ColorCount > 0) {
        count = map->ColorCount < 256 ? map->ColorCount : 256;
        for (int i = 0; i < count; ++i) {
            table[i].rgbRed = map->Colors[i].Red;
            table[i].rgbGreen = map->Colors[i].Green;
            table[i].rgbBlue = map->Colors[i].Blue;
        }
    } else {
        /* A file without any colour table: a grey ramp. */
        count = 256;
        for (int i = 0; i < 256; ++i)
            table[i].rgbRed = table[i].rgbGreen = table[i].rgbBlue = (uint8_t)i;
    }
    int background;
    if (frame->transparent >= 0 && frame->transparent < 256)
        background = frame->transparent;
    else if (count < 256)
        background = count;
    else
        background = gif->SBackGroundColor < 256 ? gif->SBackGroundColor : 0;
    if (frame->transparent >= 0 || count < 256) {
        table[background].rgbRed = table[background].rgbGreen = table[background].rgbBlue =
            SPI_BACKGROUND;
    }
    return background;
}

static int GifDecodeFrame(SpiStream* s, GifFrame* frame, SpiDib* dib, SpiProgress* progress) {
    int rc = GifOpenFrame(s, frame);
    if (rc != SPI_SUCCESS)
        return rc;
    rc = SpiDibCreate(dib, frame->canvasW, frame->canvasH, 8, 256);
    if (rc != SPI_SUCCESS)
        return rc;
    GifFileType* gif = frame->gif;
    const GifImageDesc d = gif->Image;
    const int background = GifColourTable(frame, dib->colors);
    const int covers =
        d.Left == 0 && d.Top == 0 && d.Width == dib->width && d.Height == dib->height;
    if (!covers) {
        for (int32_t y = 0; y < dib->height; ++y)
            memset(SpiDibRow(dib, y), background, (size_t)dib->width);
    }

    /* Interlaced frames arrive in four passes over the rows. */
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    const int passes = d.Interlace ? 4 : 1;
    SpiProgressInit(progress, progress->callback, progress->data, d.Height);
    if (SpiProgressStep(progress, 0))
        return SPI_ABORT;
    int done = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = d.Interlace ? kStart[pass] : 0;
        const int step = d.Interlace ? kStep[pass] : 1;
        for (int y = start; y < d.Height; y += step) {
            GifPixelType* row = SpiDibRow(dib, d.Top + y) + d.Left;
            if (DGifGetLine(gif, row, d.Width) != GIF_OK)
                return GifError(s, gif->Error);
            if (SpiProgressStep(progress, ++done))
                return SPI_ABORT;
        }
    }
    return SPI_SUCCESS;
}

static int GifDecode(SpiStream* s, SpiDib* dib, SpiProgress* progress) {
    GifFrame frame;
    const int rc = GifDecodeFrame(s, &frame, dib, progress);
    GifCloseFrame(&frame);
    return rc;
}

static const char* const kFormats[] = {"*.gif", "GIF 画像", NULL};

static const SpiFormat kGifFormat = {GifDescribe, kFormats, GifIsSupported, GifGetInfo, GifDecode};

SPI_DEFINE_EXPORTS(kGifFormat);
