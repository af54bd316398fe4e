/*
 * Shared parts of Velmo's decoder plug-ins: reading the input (a file from a
 * byte offset, or a block of memory), the bitmap handed back to the host,
 * progress reports per band of rows, compositing over the background and the
 * exports every plug-in has.
 *
 * Nothing here keeps mutable global state, so several decodes may run at
 * once on different threads (or nested, from inside a progress callback).
 */
#pragma once

#include "spi_plugin.h"

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Pictures beyond these sizes are refused with SPI_NO_MEMORY. The fuzzing
 * build lowers them so that lying headers do not make it crawl. */
#ifndef SPI_MAX_SIDE
#define SPI_MAX_SIDE 65535
#endif
#ifndef SPI_MAX_PIXELS
#define SPI_MAX_PIXELS (1ull << 28)
#endif

/* Transparent parts of a picture are shown over white. */
#define SPI_BACKGROUND 255u

/* ---- Input ------------------------------------------------------------------ */

/* The picture data: a file read from a byte offset on, or memory. Positions
 * and sizes count from the first byte of the picture data. */
typedef struct SpiStream {
    const uint8_t* mem; /* memory input, else NULL */
    FILE* file;         /* file input, else NULL */
    uint64_t base;      /* file offset of the data */
    uint64_t size;      /* bytes of data */
    uint64_t pos;       /* read position */
    int readError;      /* a read of the file failed (not just its end) */
} SpiStream;

/* Opens the input the way the host passes it (flag low bits 0: buf is a file
 * name and len the offset of the data; 1: buf is the data and len its size).
 * Returns SPI_SUCCESS or an error code; on error nothing needs closing. */
int SpiStreamOpen(SpiStream* s, const char* buf, intptr_t len, unsigned int flag);
void SpiStreamClose(SpiStream* s);
/* Reads up to n bytes; returns the count read (short at the end of data). */
size_t SpiStreamRead(SpiStream* s, void* dst, size_t n);
/* Moves the read position; returns 0 on success, -1 past the end. */
int SpiStreamSeek(SpiStream* s, uint64_t pos);
/* The whole data in memory: for memory input the caller's block itself, for
 * file input a block read now that the caller frees with free(*owned). */
int SpiStreamReadAll(SpiStream* s, const uint8_t** data, size_t* size, uint8_t** owned);
/* Maps a decoder failure to a result: a read error, else broken data. */
int SpiStreamFailure(const SpiStream* s);

/* ---- The bitmap handed to the host ------------------------------------------ */

typedef struct SpiDib {
    HLOCAL info; /* SpiBitmapInfoHeader + colour table */
    HLOCAL bits; /* bottom-up rows, each padded to 4 bytes */
    SpiBitmapInfoHeader* header;
    SpiRgbQuad* colors;
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    size_t stride;
} SpiDib;

/* SPI_SUCCESS when a picture of this size may be decoded; SPI_OUT_OF_ORDER for
 * an empty or negative size, SPI_NO_MEMORY for one beyond the limits. */
int SpiCheckSize(int64_t width, int64_t height);
/* Allocates the two blocks for a picture (bitCount 8 or 24; colorCount
 * colour-table entries, 0 for 24 bits). The colour table is zeroed. */
int SpiDibCreate(SpiDib* dib, int64_t width, int64_t height, int bitCount, int colorCount);
/* Row y counted from the top of the picture. */
static inline uint8_t* SpiDibRow(const SpiDib* dib, int32_t y) {
    return dib->pixels + (size_t)(dib->height - 1 - y) * dib->stride;
}
/* Turning a stored picture upright: bit 4 swaps rows and columns, then bit 2
 * reverses the order of the rows and bit 1 that of the columns. 0 leaves it;
 * 6 turns it a quarter clockwise, 5 a quarter anticlockwise, 3 half round. */
enum { SPI_TURN_NONE = 0, SPI_TURN_CW = 6, SPI_TURN_CCW = 5, SPI_TURN_HALF = 3 };
/* The transform of a TIFF or EXIF orientation value (1 to 8; others: 0). */
int SpiTurnOfOrientation(int orientation);
/* Allocates a 24-bit picture for a stored picture of width x height that is
 * turned upright by turn. */
int SpiDibCreateTurned(SpiDib* dib, int64_t width, int64_t height, int turn);
/* Puts row y (from the top) of the stored picture, width BGR pixels of a
 * stored picture height rows high, where turn places it in dib. */
void SpiDibPutTurnedRow(SpiDib* dib, int turn, int32_t width, int32_t height, int32_t y,
                        const uint8_t* bgr);
/* Frees both blocks (either may be missing). */
void SpiDibFree(SpiDib* dib);
/* Hands both blocks to the host's handle pointers and forgets them. */
void SpiDibHandOver(SpiDib* dib, HLOCAL* pHBInfo, HLOCAL* pHBm);
/* Records a density in dots per inch in the header (0: unknown). */
void SpiDibSetDpi(SpiDib* dib, double xdpi, double ydpi);

/* ---- Compositing ------------------------------------------------------------ */

/* A colour value c with straight alpha a over the background. */
static inline uint8_t SpiBlend(unsigned c, unsigned a) {
    return (uint8_t)((c * a + SPI_BACKGROUND * (255u - a) + 127u) / 255u);
}
/* A premultiplied colour value c with alpha a over the background. */
static inline uint8_t SpiBlendPremultiplied(unsigned c, unsigned a) {
    unsigned v = c + (SPI_BACKGROUND * (255u - a) + 127u) / 255u;
    return (uint8_t)(v > 255u ? 255u : v);
}
/* Composites n BGRA pixels into n BGR pixels. */
void SpiBlendRowBgra(uint8_t* dst, const uint8_t* bgra, int32_t n);

/* ---- Progress ----------------------------------------------------------------- */

typedef struct SpiProgress {
    SPI_PROGRESS callback;
    intptr_t data;
    int total;
    int band;
    int next;
} SpiProgress;

void SpiProgressInit(SpiProgress* p, SPI_PROGRESS callback, intptr_t data, int total);
/* Reports done of total when a band is complete (and always at 0 and at the
 * total). Returns non-zero when the callback asks to stop. */
int SpiProgressStep(SpiProgress* p, int done);

/* ---- Plug-in information ---------------------------------------------------- */

/* Writes text into buf (buflen bytes), truncated on a character boundary and
 * always terminated. Returns the bytes written without the terminator, or 0
 * when there is no room at all. */
int SpiCopyText(char* buf, int buflen, const char* text);

/* What a plug-in is: its texts and its three operations. */
typedef struct SpiFormat {
    const char* (*describe)(char* scratch, size_t n); /* number 1 */
    const char* const* formats;                       /* pattern, description, ..., NULL */
    /* The header of the data (at least 2048 bytes readable) is this format. */
    int (*isSupported)(const uint8_t* head);
    /* Fills width, height, densities and colour depth. */
    int (*getInfo)(SpiStream* s, SpiPictureInfo* info);
    /* Decodes the picture into dib, reporting progress. */
    int (*decode)(SpiStream* s, SpiDib* dib, SpiProgress* progress);
} SpiFormat;

int SpiGetPluginInfo(const SpiFormat* f, int infono, char* buf, int buflen);
int SpiIsSupported(const SpiFormat* f, const char* filename, void* dw);
int SpiGetPictureInfo(const SpiFormat* f, const char* buf, intptr_t len, unsigned int flag,
                      SpiPictureInfo* info);
int SpiGetPicture(const SpiFormat* f, const char* buf, intptr_t len, unsigned int flag,
                  HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS callback, intptr_t data);

/* Defines the exports of a plug-in for its format description. GetPreview is
 * not offered (the host then asks for the whole picture) and there is nothing
 * to configure. */
#define SPI_DEFINE_EXPORTS(format)                                                                 \
    SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {                              \
        return SpiGetPluginInfo(&(format), infono, buf, buflen);                                   \
    }                                                                                              \
    SPI_EXPORT int IsSupported(const char* filename, void* dw) {                                   \
        return SpiIsSupported(&(format), filename, dw);                                            \
    }                                                                                              \
    SPI_EXPORT int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag,                \
                                  SpiPictureInfo* lpInfo) {                                        \
        return SpiGetPictureInfo(&(format), buf, len, flag, lpInfo);                               \
    }                                                                                              \
    SPI_EXPORT int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* pHBInfo,   \
                              HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData) {      \
        return SpiGetPicture(&(format), buf, len, flag, pHBInfo, pHBm, lpPrgressCallback, lData);  \
    }                                                                                              \
    SPI_EXPORT int GetPreview(const char* buf, intptr_t len, unsigned int flag, HLOCAL* pHBInfo,   \
                              HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData) {      \
        (void)buf, (void)len, (void)flag, (void)pHBInfo, (void)pHBm, (void)lpPrgressCallback,      \
            (void)lData;                                                                           \
        return SPI_NO_FUNCTION;                                                                    \
    }                                                                                              \
    SPI_EXPORT int ConfigurationDlg(void* parent, int fnc) {                                       \
        (void)parent, (void)fnc;                                                                   \
        return SPI_NO_FUNCTION;                                                                    \
    }                                                                                              \
    /* The exports match the host's function types. */                                             \
    static const SPI_GetPluginInfo spiCheckGetPluginInfo __attribute__((unused)) = GetPluginInfo;  \
    static const SPI_IsSupported spiCheckIsSupported __attribute__((unused)) = IsSupported;        \
    static const SPI_GetPictureInfo spiCheckGetPictureInfo __attribute__((unused)) =               \
        GetPictureInfo;                                                                            \
    static const SPI_GetPicture spiCheckGetPicture __attribute__((unused)) = GetPicture;           \
    static const SPI_GetPreview spiCheckGetPreview __attribute__((unused)) = GetPreview;           \
    static const SPI_ConfigurationDlg spiCheckConfigurationDlg __attribute__((unused)) =           \
        ConfigurationDlg

#ifdef __cplusplus
}
#endif
