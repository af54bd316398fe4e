/*
 * Velmo decoder plug-ins: the C interface between the host and an import
 * plug-in (a shared object named *.spi).
 *
 * A plug-in exports the functions below with C linkage. Lengths, offsets, the
 * callback data value and memory handles are pointer-sized; counts, flags,
 * numbers and results are 32-bit int. Texts are zero-terminated UTF-8.
 *
 * Memory handed from a plug-in to the host is allocated with LocalAlloc from
 * this header and freed by the host with LocalFree from this header, so both
 * sides use the same allocator.
 *
 * Define every export with SPI_EXPORT (C linkage, also from C++, and default
 * visibility); the prototypes below make a definition with the wrong
 * signature fail to compile.
 *
 * What the host accepts from GetPicture and GetPreview:
 *  - SPI_SUCCESS with both handles set; anything else counts as a failure
 *    and the handles are left to the plug-in.
 *  - Both handles from LocalAlloc of this header, each at least as large as
 *    what it describes (the host checks against LocalSize).
 *  - pHBInfo: a SpiBitmapInfoHeader (biSize 40 or more) followed by the
 *    masks and colour table; biWidth > 0, biHeight non-zero (negative:
 *    top-down rows); biBitCount 1, 4, 8, 16, 24 or 32; biCompression 0
 *    (uncompressed) or 3 (bit fields, 16 and 32 bits only, three 32-bit
 *    masks after a 40-byte header); at most 2^biBitCount colours.
 *  - pHBm: the rows of pixel bits, each padded to four bytes (SpiRowBytes).
 *  A picture outside these rules is dropped and the next plug-in is asked.
 *
 * The host checks a plug-in file's ELF headers before loading it (class and
 * machine of the program, every loadable segment inside the file), so a
 * file cut short is skipped. A plug-in that crashes while it is loaded for
 * any other reason (its constructors, a library it needs that misbehaves)
 * takes the program with it: that cannot be guarded inside the process.
 */
#ifndef VELMO_SPI_PLUGIN_H
#define VELMO_SPI_PLUGIN_H

#include <malloc.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Results -------------------------------------------------------------- */
#define SPI_SUCCESS 0         /* done */
#define SPI_NO_FUNCTION (-1)  /* not implemented */
#define SPI_ABORT 1           /* stopped by the progress callback */
#define SPI_NOT_SUPPORT 2     /* unknown format */
#define SPI_OUT_OF_ORDER 3    /* broken data */
#define SPI_NO_MEMORY 4       /* out of memory */
#define SPI_MEMORY_ERROR 5    /* memory error */
#define SPI_FILE_READ_ERROR 6 /* read error */
#define SPI_OTHER_ERROR 8     /* internal error */

/* ---- Input kinds (the flag argument, low bits) ------------------------------ */
#define SPI_INPUT_FILE 0   /* buf is a file name, len the byte offset of the data */
#define SPI_INPUT_MEMORY 1 /* buf points at the data, len is its byte count */
#define SPI_INPUT_MASK 7

/* ---- Local memory handles --------------------------------------------------- */
typedef void* HLOCAL;

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)

/* A handle is the block itself; "locking" hands out its address. */
static inline HLOCAL LocalAlloc(unsigned int flags, size_t bytes) {
    if (bytes == 0)
        bytes = 1;
    return (flags & LMEM_ZEROINIT) ? calloc(1, bytes) : malloc(bytes);
}
static inline void* LocalLock(HLOCAL h) {
    return h;
}
static inline int LocalUnlock(HLOCAL h) {
    (void)h;
    return 0;
}
static inline HLOCAL LocalFree(HLOCAL h) {
    free(h);
    return NULL;
}
/* The usable size of a block: at least the size it was allocated with (the
 * host checks returned pictures against it); 0 for no block. */
static inline size_t LocalSize(HLOCAL h) {
    return h ? malloc_usable_size(h) : 0;
}

/* ---- Picture information record (32 bytes, packed) -------------------------- */
#pragma pack(push, 1)
typedef struct SpiPictureInfo {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    uint16_t x_density;
    uint16_t y_density;
    int16_t colorDepth;
    uint8_t padding[2];
    HLOCAL hInfo; /* text information, or NULL; freed by the host */
} SpiPictureInfo;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(SpiPictureInfo) == 32, "picture information record is 32 bytes");
static_assert(offsetof(SpiPictureInfo, hInfo) == 24, "text handle at byte 24");
#else
_Static_assert(sizeof(SpiPictureInfo) == 32, "picture information record is 32 bytes");
#endif

/* ---- Bitmap headers of the returned picture ---------------------------------- */
#pragma pack(push, 1)
typedef struct SpiBitmapInfoHeader {
    uint32_t biSize; /* 40 */
    int32_t biWidth;
    int32_t biHeight; /* positive: bottom-up rows; negative: top-down */
    uint16_t biPlanes;
    uint16_t biBitCount;    /* 1, 4, 8, 24 or 32 */
    uint32_t biCompression; /* 0: BI_RGB */
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} SpiBitmapInfoHeader;

typedef struct SpiRgbQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
} SpiRgbQuad;
#pragma pack(pop)

/* Rows of the pixel bits are padded to a multiple of four bytes. */
static inline size_t SpiRowBytes(int32_t width, int bitCount) {
    return (((size_t)width * (size_t)bitCount + 31u) / 32u) * 4u;
}

/* ---- Progress callback -------------------------------------------------------- */
/* Called as (done, total, data); a non-zero answer asks the plug-in to stop. */
typedef int (*SPI_PROGRESS)(int nNum, int nDenom, intptr_t lData);

/* ---- Exports ---------------------------------------------------------------- */
#if defined(__GNUC__)
#define SPI_VISIBLE __attribute__((visibility("default")))
#else
#define SPI_VISIBLE
#endif
#ifdef __cplusplus
#define SPI_EXPORT extern "C" SPI_VISIBLE
#else
#define SPI_EXPORT SPI_VISIBLE
#endif
typedef int (*SPI_GetPluginInfo)(int infono, char* buf, int buflen);
typedef int (*SPI_IsSupported)(const char* filename, void* dw);
typedef int (*SPI_GetPictureInfo)(const char* buf, intptr_t len, unsigned int flag,
                                  SpiPictureInfo* lpInfo);
typedef int (*SPI_GetPicture)(const char* buf, intptr_t len, unsigned int flag, HLOCAL* pHBInfo,
                              HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData);
typedef int (*SPI_GetPreview)(const char* buf, intptr_t len, unsigned int flag, HLOCAL* pHBInfo,
                              HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData);
typedef int (*SPI_GetArchiveInfo)(const char* buf, intptr_t len, unsigned int flag, HLOCAL* lphInf);
typedef int (*SPI_GetFileInfo)(const char* buf, intptr_t len, const char* filename,
                               unsigned int flag, void* lpInfo);
typedef int (*SPI_GetFile)(const char* src, intptr_t len, char* dest, unsigned int flag,
                           SPI_PROGRESS prgressCallback, intptr_t lData);
typedef int (*SPI_ConfigurationDlg)(void* parent, int fnc);

/* Prototypes of the exports a plug-in may define (GetPluginInfo,
 * IsSupported and GetPicture at least). */
SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen);
SPI_EXPORT int IsSupported(const char* filename, void* dw);
SPI_EXPORT int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag,
                              SpiPictureInfo* lpInfo);
SPI_EXPORT int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* pHBInfo,
                          HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData);
SPI_EXPORT int GetPreview(const char* buf, intptr_t len, unsigned int flag, HLOCAL* pHBInfo,
                          HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback, intptr_t lData);
SPI_EXPORT int GetArchiveInfo(const char* buf, intptr_t len, unsigned int flag, HLOCAL* lphInf);
SPI_EXPORT int GetFileInfo(const char* buf, intptr_t len, const char* filename, unsigned int flag,
                           void* lpInfo);
SPI_EXPORT int GetFile(const char* src, intptr_t len, char* dest, unsigned int flag,
                       SPI_PROGRESS prgressCallback, intptr_t lData);
SPI_EXPORT int ConfigurationDlg(void* parent, int fnc);

#ifdef __cplusplus
}
#endif

#endif /* VELMO_SPI_PLUGIN_H */
