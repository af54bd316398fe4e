/*
 * A small import plug-in for the host's tests. One source gives several
 * plug-ins through compile definitions:
 *
 *   SPI_API_TYPE "00IN"     API type reported as information 0
 *   SPI_NAME "..."          plug-in name (information 1)
 *   SPI_EXT1 / SPI_DESC1    first format line and its description ("|" in a
 *                           line stands for ";", which the build cannot pass)
 *   SPI_EXT2 / SPI_DESC2    second format line; SPI_EXT2 without SPI_DESC2
 *                           gives a pattern whose description is missing
 *   SPI_MAGIC "VTST"        the four bytes the data must start with
 *   SPI_NO_GETPICTURE       leave out the GetPicture export
 *   SPI_NO_GETPLUGININFO    leave out the GetPluginInfo export
 *   SPI_NO_PREVIEW          leave out the GetPreview export
 *   SPI_FAIL                GetPicture and GetPreview report broken data
 *   SPI_ONE_HANDLE          GetPicture succeeds but hands back no bits
 *   SPI_PROGRESS_TOTAL n    callback steps (done 0..n of n), default 2
 *   SPI_NO_TERMINATOR       information texts fill the whole buffer unterminated
 *   SPI_ARCHIVE             also export the three archive entry points
 *   SPI_COUNT_ENTRIES       every entry stays inside for a moment and counts
 *                           the threads inside at once; VtMostInside() and
 *                           VtThreadsSeen() tell the most seen and how many
 *                           threads ever called
 *
 * The data: "VTST", width (int32), height (int32), bit count (uint8), flags
 * (uint8: 1 top-down rows, 2 bits block smaller than the header says, 32
 * pixels left blank), two padding bytes: 16 bytes, then nothing. The pixels
 * are a pattern the tests can predict. When VELMO_TESTSPI_LOG names a file,
 * every call is appended to it as one line.
 *
 * Built with mingw-w64 it is a Windows plug-in (spi_win.h), whose GetPicture
 * also misbehaves on request: flags 4 crash, 8 never return, 16 end the
 * process with ExitProcess, 64 report progress slowly for two seconds
 * (stopping when the callback asks); padding byte 14: 1 progress for ever,
 * 2 a 600 MB bits block, 4 the process ends just after a good picture.
 */
#ifdef _WIN32
#include "spi_win.h"
#ifndef SPI_NAME
#define SPI_NAME "Velmo \x83\x65\x83\x58\x83\x67" /* "テスト" in code page 932 */
#endif
#else
#include "spi_plugin.h"
#define SPI_CALL
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef SPI_API_TYPE
#define SPI_API_TYPE "00IN"
#endif
#ifndef SPI_NAME
#define SPI_NAME "Velmo test plug-in"
#endif
#ifndef SPI_MAGIC
#define SPI_MAGIC "VTST"
#endif
#ifndef SPI_PROGRESS_TOTAL
#define SPI_PROGRESS_TOTAL 2
#endif

#define HEADER_BYTES 16

#ifdef SPI_COUNT_ENTRIES
#include <pthread.h>
#include <unistd.h>
static int Inside, MostInside, ThreadsSeen;
static pthread_t Seen[2];

static int CountIn(void) {
    int now = __atomic_add_fetch(&Inside, 1, __ATOMIC_SEQ_CST), most, i;
    pthread_t self = pthread_self();
    while ((most = __atomic_load_n(&MostInside, __ATOMIC_SEQ_CST)) < now)
        __atomic_compare_exchange_n(&MostInside, &most, now, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    for (i = 0; i < ThreadsSeen && i < 2; ++i)
        if (pthread_equal(Seen[i], self))
            break;
    if (i == ThreadsSeen && i < 2)
        Seen[ThreadsSeen++] = self; /* only ever raced by a host that breaks the rule */
    usleep(2000);
    return now;
}
static void CountOut(int* unused) {
    (void)unused;
    __atomic_sub_fetch(&Inside, 1, __ATOMIC_SEQ_CST);
}
int VtMostInside(void) {
    return __atomic_load_n(&MostInside, __ATOMIC_SEQ_CST);
}
int VtThreadsSeen(void) {
    return ThreadsSeen;
}
#define ENTRY()                                                                                    \
    int entry_ __attribute__((cleanup(CountOut))) = CountIn();                                     \
    (void)entry_
#else
#define ENTRY() (void)0
#endif

static void LogCall(const char* what, unsigned int flag, intptr_t len) {
    const char* path = getenv("VELMO_TESTSPI_LOG");
    if (!path || !*path)
        return;
    FILE* f = fopen(path, "a");
    if (!f)
        return;
    fprintf(f, "%s %s flag=%u len=%ld\n", SPI_NAME, what, flag, (long)len);
    fclose(f);
}

#ifndef SPI_NO_GETPLUGININFO
static int CopyText(char* buf, int buflen, const char* text) {
    if (!buf || buflen <= 0)
        return 0;
#ifdef SPI_NO_TERMINATOR
    /* Fill the whole buffer (and the byte after it) without a terminator. */
    memset(buf, 'x', (size_t)buflen + 1);
    memcpy(buf, text, strlen(text) < (size_t)buflen ? strlen(text) : (size_t)buflen);
    return buflen;
#else
    size_t i, n = strlen(text);
    if (n >= (size_t)buflen)
        n = (size_t)buflen - 1;
    memcpy(buf, text, n);
    buf[n] = '\0';
    for (i = 0; i < n; ++i)
        if (buf[i] == '|')
            buf[i] = ';';
    return (int)n + 1;
#endif
}

SPI_EXPORT int SPI_CALL GetPluginInfo(int infono, char* buf, int buflen) {
    ENTRY();
    switch (infono) {
    case 0:
        return CopyText(buf, buflen, SPI_API_TYPE);
    case 1:
        return CopyText(buf, buflen, SPI_NAME);
#ifdef SPI_EXT1
    case 2:
        return CopyText(buf, buflen, SPI_EXT1);
    case 3:
        return CopyText(buf, buflen, SPI_DESC1);
#endif
#ifdef SPI_EXT2
    case 4:
        return CopyText(buf, buflen, SPI_EXT2);
#ifdef SPI_DESC2
    case 5:
        return CopyText(buf, buflen, SPI_DESC2);
#endif
#endif
    default:
        return 0;
    }
}
#endif

SPI_EXPORT int SPI_CALL IsSupported(const char* filename, void* dw) {
    ENTRY();
    (void)filename;
    LogCall("IsSupported", 0, 0);
    return dw && memcmp(dw, SPI_MAGIC, 4) == 0;
}

/* Reads the 16-byte picture header from a file at an offset or from memory. */
static int ReadHeader(const char* buf, intptr_t len, unsigned int flag, unsigned char* out) {
    if ((flag & SPI_INPUT_MASK) == SPI_INPUT_FILE) {
        FILE* f = fopen(buf, "rb");
        if (!f)
            return 0;
        int ok =
            fseek(f, (long)len, SEEK_SET) == 0 && fread(out, 1, HEADER_BYTES, f) == HEADER_BYTES;
        fclose(f);
        return ok && memcmp(out, SPI_MAGIC, 4) == 0;
    }
    if (len < HEADER_BYTES)
        return 0;
    memcpy(out, buf, HEADER_BYTES);
    return memcmp(out, SPI_MAGIC, 4) == 0;
}

SPI_EXPORT int SPI_CALL GetPictureInfo(const char* buf, intptr_t len, unsigned int flag,
                                       SpiPictureInfo* lpInfo) {
    unsigned char h[HEADER_BYTES];
    ENTRY();
    LogCall("GetPictureInfo", flag, len);
    if (!ReadHeader(buf, len, flag, h))
        return SPI_NOT_SUPPORT;
    memset(lpInfo, 0, sizeof *lpInfo);
    memcpy(&lpInfo->width, h + 4, 4);
    memcpy(&lpInfo->height, h + 8, 4);
    lpInfo->colorDepth = h[12];
    lpInfo->hInfo = LocalAlloc(LMEM_FIXED, 16);
    if (lpInfo->hInfo)
        strcpy((char*)lpInfo->hInfo, "comment");
    return SPI_SUCCESS;
}

/* The colour of palette entry i for a bit count. */
static SpiRgbQuad PaletteEntry(int bits, int i) {
    SpiRgbQuad q = {0, 0, 0, 0};
    if (bits == 1) {
        q.rgbRed = q.rgbGreen = q.rgbBlue = (uint8_t)(i ? 255 : 0);
    } else if (bits == 4) {
        q.rgbRed = (uint8_t)(i * 16);
        q.rgbGreen = (uint8_t)(255 - i * 16);
        q.rgbBlue = (uint8_t)(i * 8);
    } else {
        q.rgbRed = q.rgbGreen = q.rgbBlue = (uint8_t)i;
    }
    return q;
}

#ifndef SPI_ONE_HANDLE
static void PutPixel(uint8_t* row, int x, int y, int bits) {
    switch (bits) {
    case 1:
        if ((x + y) & 1)
            row[x / 8] |= (uint8_t)(0x80 >> (x % 8));
        break;
    case 4:
        row[x / 2] |= (uint8_t)(((x + y) & 15) << ((x % 2) ? 0 : 4));
        break;
    case 8:
        row[x] = (uint8_t)((x + 3 * y) & 255);
        break;
    case 24:
    case 32: {
        uint8_t* p = row + x * (bits / 8);
        p[0] = (uint8_t)(x * 16);
        p[1] = (uint8_t)(y * 16);
        p[2] = 0x80;
        if (bits == 32)
            p[3] = 0xff;
        break;
    }
    }
}
#endif

#ifdef _WIN32
static DWORD WINAPI ExitSoon(void* unused) {
    (void)unused;
    Sleep(50);
    ExitProcess(9);
    return 0;
}
#endif

static int Decode(const char* what, const char* buf, intptr_t len, unsigned int flag,
                  HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS progress, intptr_t lData) {
    unsigned char h[HEADER_BYTES];
    int32_t width, height;
    int bits, colors, i, total = SPI_PROGRESS_TOTAL;
    size_t rowBytes, rows, imageBytes;
    SpiBitmapInfoHeader* bi;
    uint8_t* pixels;
    ENTRY();

    LogCall(what, flag, len);
    if (!progress)
        return SPI_OTHER_ERROR; /* the host always passes its callback */
    if (!ReadHeader(buf, len, flag, h))
        return SPI_NOT_SUPPORT;
    for (i = 0; i <= total; ++i)
        if (progress(i, total, lData))
            return SPI_ABORT;
#ifdef SPI_FAIL
    return SPI_OUT_OF_ORDER;
#endif
#ifdef _WIN32
    if (h[13] & 4)
        *(volatile int*)(intptr_t)lData = 1; /* no data lives there: a crash */
    while (h[13] & 8)
        Sleep(1000);
    if (h[13] & 16)
        ExitProcess(7);
    if (h[13] & 64)
        for (i = 0; i <= 100; ++i) {
            if (progress(i, 100, lData))
                return SPI_ABORT;
            Sleep(20);
        }
    for (i = 0; h[14] & 1; i = (i + 1) % 100) {
        if (progress(i, 100, lData))
            return SPI_ABORT;
        Sleep(10);
    }
#endif
    memcpy(&width, h + 4, 4);
    memcpy(&height, h + 8, 4);
    bits = h[12];
    colors = bits <= 8 ? (1 << bits) : 0;
    rows = (size_t)(height < 0 ? -height : height);
    rowBytes = SpiRowBytes(width, bits);
    imageBytes = rowBytes * rows;

    *pHBInfo = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT,
                          sizeof(SpiBitmapInfoHeader) + (size_t)colors * sizeof(SpiRgbQuad));
    if (!*pHBInfo)
        return SPI_NO_MEMORY;
    bi = (SpiBitmapInfoHeader*)LocalLock(*pHBInfo);
    bi->biSize = 40;
    bi->biWidth = width;
    bi->biHeight = (h[13] & 1) ? -(int32_t)rows : (int32_t)rows;
    bi->biPlanes = 1;
    bi->biBitCount = (uint16_t)bits;
    for (i = 0; i < colors; ++i)
        ((SpiRgbQuad*)(bi + 1))[i] = PaletteEntry(bits, i);
    LocalUnlock(*pHBInfo);

#ifdef SPI_ONE_HANDLE
    (void)pixels;
    (void)imageBytes;
    *pHBm = NULL;
    return SPI_SUCCESS;
#else
    if (rows != 0 && imageBytes / rows != rowBytes)
        *pHBm = NULL; /* more than the address space holds */
    else
        *pHBm =
            LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, (h[13] & 2) ? imageBytes / 2 : imageBytes);
#ifdef _WIN32
    if (*pHBm && (h[14] & 2))
        *pHBm = LocalReAlloc(*pHBm, 600u << 20, LMEM_MOVEABLE);
    if (h[14] & 4)
        CloseHandle(CreateThread(NULL, 0, ExitSoon, NULL, 0, NULL));
#endif
    if (!*pHBm) {
        *pHBInfo = LocalFree(*pHBInfo);
        return SPI_NO_MEMORY;
    }
    pixels = (uint8_t*)LocalLock(*pHBm);
    if (!(h[13] & (2 | 32))) {
        size_t r;
        for (r = 0; r < rows; ++r) {
            /* Row r of the block is picture row y. */
            int y = (h[13] & 1) ? (int)r : (int)(rows - 1 - r);
            int x;
            for (x = 0; x < width; ++x)
                PutPixel(pixels + r * rowBytes, x, y, bits);
        }
    }
    LocalUnlock(*pHBm);
    return SPI_SUCCESS;
#endif
}

#ifndef SPI_NO_GETPICTURE
SPI_EXPORT int SPI_CALL GetPicture(const char* buf, intptr_t len, unsigned int flag,
                                   HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback,
                                   intptr_t lData) {
    return Decode("GetPicture", buf, len, flag, pHBInfo, pHBm, lpPrgressCallback, lData);
}
#endif

#ifndef SPI_NO_PREVIEW
SPI_EXPORT int SPI_CALL GetPreview(const char* buf, intptr_t len, unsigned int flag,
                                   HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS lpPrgressCallback,
                                   intptr_t lData) {
    return Decode("GetPreview", buf, len, flag, pHBInfo, pHBm, lpPrgressCallback, lData);
}
#endif

#ifdef SPI_ARCHIVE
SPI_EXPORT int GetArchiveInfo(const char* buf, intptr_t len, unsigned int flag, HLOCAL* lphInf) {
    (void)buf, (void)len, (void)flag, (void)lphInf;
    return SPI_NO_FUNCTION;
}
SPI_EXPORT int GetFileInfo(const char* buf, intptr_t len, const char* filename, unsigned int flag,
                           void* lpInfo) {
    (void)buf, (void)len, (void)filename, (void)flag, (void)lpInfo;
    return SPI_NO_FUNCTION;
}
SPI_EXPORT int GetFile(const char* src, intptr_t len, char* dest, unsigned int flag,
                       SPI_PROGRESS prgressCallback, intptr_t lData) {
    (void)src, (void)len, (void)dest, (void)flag, (void)prgressCallback, (void)lData;
    return SPI_NO_FUNCTION;
}
#endif
