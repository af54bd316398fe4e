/*
 * The decoder plug-in interface as Windows plug-ins (32-bit *.spi, 64-bit
 * *.sph) define it, for the plug-in host and for plug-ins built with
 * mingw-w64. Unlike include/spi_plugin.h it uses the system's own local
 * memory functions and the Windows calling convention:
 *  - 32-bit: every export and the progress callback are __stdcall, exported
 *    under their plain names (link with -Wl,--kill-at); the picture
 *    information record is 26 bytes, its text handle at byte 22.
 *  - 64-bit: one calling convention; the record is 32 bytes, the handle at
 *    byte 24 after two padding bytes.
 * Texts are single-byte texts of the system code page (932 for Japanese
 * plug-ins).
 */
#ifndef VELMO_SPI_WIN_H
#define VELMO_SPI_WIN_H

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#define SPI_SUCCESS 0
#define SPI_NO_FUNCTION (-1)
#define SPI_ABORT 1
#define SPI_NOT_SUPPORT 2
#define SPI_OUT_OF_ORDER 3
#define SPI_NO_MEMORY 4
#define SPI_MEMORY_ERROR 5
#define SPI_FILE_READ_ERROR 6
#define SPI_OTHER_ERROR 8

#define SPI_INPUT_FILE 0
#define SPI_INPUT_MEMORY 1
#define SPI_INPUT_MASK 7

#pragma pack(push, 1)
typedef struct SpiPictureInfo {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    uint16_t x_density;
    uint16_t y_density;
    int16_t colorDepth;
#ifdef _WIN64
    uint8_t padding[2];
#endif
    HLOCAL hInfo;
} SpiPictureInfo;

typedef struct SpiBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
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

#ifdef _WIN64
_Static_assert(sizeof(SpiPictureInfo) == 32, "picture information record is 32 bytes");
_Static_assert(offsetof(SpiPictureInfo, hInfo) == 24, "text handle at byte 24");
#else
_Static_assert(sizeof(SpiPictureInfo) == 26, "picture information record is 26 bytes");
_Static_assert(offsetof(SpiPictureInfo, hInfo) == 22, "text handle at byte 22");
#endif

static inline size_t SpiRowBytes(int32_t width, int bitCount) {
    return (((size_t)width * (size_t)bitCount + 31u) / 32u) * 4u;
}

#define SPI_CALL __stdcall
typedef int(SPI_CALL* SPI_PROGRESS)(int nNum, int nDenom, intptr_t lData);

#define SPI_EXPORT __declspec(dllexport)
typedef int(SPI_CALL* SPI_GetPluginInfo)(int infono, char* buf, int buflen);
typedef int(SPI_CALL* SPI_IsSupported)(const char* filename, void* dw);
typedef int(SPI_CALL* SPI_GetPictureInfo)(const char* buf, intptr_t len, unsigned int flag,
                                          SpiPictureInfo* lpInfo);
typedef int(SPI_CALL* SPI_GetPicture)(const char* buf, intptr_t len, unsigned int flag,
                                      HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback,
                                      intptr_t lData);
typedef SPI_GetPicture SPI_GetPreview;

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen);
SPI_EXPORT int SPI_CALL IsSupported(const char* filename, void* dw);
SPI_EXPORT int SPI_CALL GetPictureInfo(const char* buf, intptr_t len, unsigned int flag,
                                       SpiPictureInfo* lpInfo);
SPI_EXPORT int SPI_CALL GetPicture(const char* buf, intptr_t len, unsigned int flag,
                                   HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback,
                                   intptr_t lData);
SPI_EXPORT int SPI_CALL GetPreview(const char* buf, intptr_t len, unsigned int flag,
                                   HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback,
                                   intptr_t lData);

#endif /* VELMO_SPI_WIN_H */
