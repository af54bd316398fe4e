/*
 * libFuzzer target for one decoder plug-in, linked straight to its source:
 * the input is offered to IsSupported, GetPictureInfo and GetPicture as
 * memory input, and a returned picture is checked for consistency.
 */
#include "spi_common.h"

#include <stdlib.h>
#include <string.h>

int GetPluginInfo(int infono, char* buf, int buflen);
int IsSupported(const char* filename, void* dw);
int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* lpInfo);
int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* pHBInfo, HLOCAL* pHBm,
               SPI_PROGRESS lpPrgressCallback, intptr_t lData);

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
    return 0;
}
