/*
 * libFuzzer target for one decoder plug-in, linked straight to its source:
 * the input is offered to IsSupported, GetPictureInfo and GetPicture as
 * memory input, and a returned picture is checked for consistency.
 */
#include "spi_common.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int GetPluginInfo(int infono, char* buf, int buflen);
int IsSupported(const char* filename, void* dw);
int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* lpInfo);
int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* pHBInfo, HLOCAL* pHBm,
               SPI_PROGRESS lpPrgressCallback, intptr_t lData);

/* Decodes data as file input: written after 128 bytes of junk to a file of
 * this process, read from offset 128 (the reading procedures differ from
 * those of memory input, for libtiff most of all). */
static void DecodeAsFile(const uint8_t* data, size_t size) {
    static char path[64];
    if (!path[0])
        snprintf(path, sizeof path, "/tmp/velmo-fuzz-%d.bin", (int)getpid());
    FILE* f = fopen(path, "wb");
    if (!f)
        return;
    static const uint8_t junk[128] = {1, 2, 3};
    fwrite(junk, 1, sizeof junk, f);
    fwrite(data, 1, size, f);
    fclose(f);
    SpiPictureInfo info;
    memset(&info, 0xA5, sizeof info);
    GetPictureInfo(path, 128, SPI_INPUT_FILE, &info);
    if (info.hInfo)
        LocalFree(info.hInfo);
    HLOCAL hInfo = NULL, hBits = NULL;
    const int rc = GetPicture(path, 128, SPI_INPUT_FILE, &hInfo, &hBits, NULL, 0);
    if ((rc == SPI_SUCCESS) != (hInfo && hBits))
        abort();
    LocalFree(hInfo);
    LocalFree(hBits);
}

/* Stops the decode at the report numbered by the data value (0: never). */
static int Progress(int done, int total, intptr_t data) {
    int* left = (int*)data;
    if (done < 0 || total <= 0 || done > total)
        abort(); /* reports must stay within their total */
    return *left > 0 && --*left == 0;
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    /* The host's header buffer: 2048 readable bytes, zero-filled. */
    uint8_t head[2048];
    memset(head, 0, sizeof head);
    memcpy(head, data, size < sizeof head ? size : sizeof head);
    if (!IsSupported("fuzz", head))
        return 0;

    /* A copy of exactly the input's size, so that reads past it are caught. */
    char* copy = malloc(size ? size : 1);
    memcpy(copy, data, size);
    SpiPictureInfo info;
    memset(&info, 0xA5, sizeof info); /* as the host does: a pattern, not zeros */
    GetPictureInfo(copy, (intptr_t)size, SPI_INPUT_MEMORY, &info);
    if (info.hInfo)
        LocalFree(info.hInfo);

    /* The last byte picks a report at which to stop now and then. */
    int stopAt = size > 0 && (data[size - 1] & 0xF0) == 0xA0 ? (data[size - 1] & 0x0F) + 1 : 0;
    HLOCAL hInfo = NULL, hBits = NULL;
    const int rc = GetPicture(copy, (intptr_t)size, SPI_INPUT_MEMORY, &hInfo, &hBits, Progress,
                              (intptr_t)&stopAt);
    if (rc == SPI_SUCCESS) {
        const SpiBitmapInfoHeader* h = (const SpiBitmapInfoHeader*)hInfo;
        if (!hInfo || !hBits || h->biWidth <= 0 || h->biHeight <= 0)
            abort();
        /* Touch the first and last byte of the pixels. */
        const size_t bytes = SpiRowBytes(h->biWidth, h->biBitCount) * (size_t)h->biHeight;
        volatile uint8_t sink = ((uint8_t*)hBits)[0] ^ ((uint8_t*)hBits)[bytes - 1];
        (void)sink;
    } else if (hInfo || hBits) {
        abort(); /* a failure hands back nothing */
    }
    LocalFree(hInfo);
    LocalFree(hBits);
    free(copy);
    /* One input in four also goes through a file. */
    if (size % 4 == 1)
        DecodeAsFile(data, size);
    return 0;
}
