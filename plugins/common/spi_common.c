#define _FILE_OFFSET_BITS 64
#include "spi_common.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* ---- Input ------------------------------------------------------------------ */

int SpiStreamOpen(SpiStream* s, const char* buf, intptr_t len, unsigned int flag) {
    memset(s, 0, sizeof *s);
    switch (flag & SPI_INPUT_MASK) {
    case SPI_INPUT_FILE: {
        if (!buf || len < 0)
            return SPI_FILE_READ_ERROR;
        /* Opened without blocking, so that a named pipe given as a picture
         * cannot hang the caller; only regular files are read. */
        const int fd = open(buf, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return SPI_FILE_READ_ERROR;
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            close(fd);
            return SPI_FILE_READ_ERROR;
        }
        FILE* f = fdopen(fd, "rb");
        if (!f) {
            close(fd);
            return SPI_FILE_READ_ERROR;
        }
        setvbuf(f, NULL, _IOFBF, 64 * 1024); /* fewer, larger reads */
        const uint64_t fileSize = (uint64_t)st.st_size;
        s->base = (uint64_t)len;
        s->size = s->base < fileSize ? fileSize - s->base : 0;
        if (fseeko(f, (off_t)(s->base < fileSize ? s->base : fileSize), SEEK_SET) != 0) {
            fclose(f);
            return SPI_FILE_READ_ERROR;
        }
        s->file = f;
        return SPI_SUCCESS;
    }
    case SPI_INPUT_MEMORY:
        if (len < 0 || (!buf && len > 0))
            return SPI_OUT_OF_ORDER;
        s->mem = (const uint8_t*)buf;
        s->size = (uint64_t)len;
        return SPI_SUCCESS;
    default:
        return SPI_NOT_SUPPORT;
    }
}

void SpiStreamClose(SpiStream* s) {
    if (s->file)
        fclose(s->file);
    s->file = NULL;
}

size_t SpiStreamRead(SpiStream* s, void* dst, size_t n) {
    if (s->pos >= s->size)
        return 0;
    if (n > s->size - s->pos)
        n = (size_t)(s->size - s->pos);
    size_t got;
    if (s->mem) {
        memcpy(dst, s->mem + s->pos, n);
        got = n;
    } else if (s->file) {
        got = fread(dst, 1, n, s->file);
        if (got < n && ferror(s->file))
            s->readError = 1;
    } else {
        got = 0;
    }
    s->pos += got;
    return got;
}

int SpiStreamSeek(SpiStream* s, uint64_t pos) {
    if (pos > s->size)
        return -1;
    if (s->file && pos != s->pos) {
        if (fseeko(s->file, (off_t)(s->base + pos), SEEK_SET) != 0) {
            s->readError = 1;
            return -1;
        }
    }
    s->pos = pos;
    return 0;
}

int SpiStreamReadAll(SpiStream* s, const uint8_t** data, size_t* size, uint8_t** owned) {
    *owned = NULL;
    if (s->size > (uint64_t)SIZE_MAX / 2)
        return SPI_NO_MEMORY;
    if (s->mem) {
        *data = s->mem;
        *size = (size_t)s->size;
        return SPI_SUCCESS;
    }
    if (SpiStreamSeek(s, 0) != 0)
        return SPI_FILE_READ_ERROR;
    uint8_t* block = malloc(s->size ? (size_t)s->size : 1);
    if (!block)
        return SPI_NO_MEMORY;
    const size_t got = SpiStreamRead(s, block, (size_t)s->size);
    if (got != s->size) {
        free(block);
        return SPI_FILE_READ_ERROR;
    }
    *data = block;
    *size = got;
    *owned = block;
    return SPI_SUCCESS;
}

int SpiStreamFailure(const SpiStream* s) {
    return s->readError ? SPI_FILE_READ_ERROR : SPI_OUT_OF_ORDER;
}

/* ---- The bitmap ---------------------------------------------------------------- */

int SpiCheckSize(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0)
        return SPI_OUT_OF_ORDER;
    if (width > SPI_MAX_SIDE || height > SPI_MAX_SIDE ||
        (uint64_t)width * (uint64_t)height > (uint64_t)SPI_MAX_PIXELS)
        return SPI_NO_MEMORY;
    return SPI_SUCCESS;
}

int SpiDibCreate(SpiDib* dib, int64_t width, int64_t height, int bitCount, int colorCount) {
    memset(dib, 0, sizeof *dib);
    const int sizeCheck = SpiCheckSize(width, height);
    if (sizeCheck != SPI_SUCCESS)
        return sizeCheck;
    if ((bitCount != 8 && bitCount != 24) || colorCount < 0 || colorCount > 256)
        return SPI_OTHER_ERROR;
    const size_t stride = SpiRowBytes((int32_t)width, bitCount);
    const size_t imageSize = stride * (size_t)height;
    const size_t infoSize = sizeof(SpiBitmapInfoHeader) + (size_t)colorCount * sizeof(SpiRgbQuad);
    dib->info = LocalAlloc(LHND, infoSize);
    dib->bits = LocalAlloc(LMEM_MOVEABLE, imageSize);
    if (!dib->info || !dib->bits) {
        SpiDibFree(dib);
        return SPI_NO_MEMORY;
    }
    dib->header = (SpiBitmapInfoHeader*)LocalLock(dib->info);
    dib->colors = (SpiRgbQuad*)(dib->header + 1);
    dib->pixels = (uint8_t*)LocalLock(dib->bits);
    dib->width = (int32_t)width;
    dib->height = (int32_t)height;
    dib->stride = stride;
    SpiBitmapInfoHeader* h = dib->header;
    h->biSize = sizeof(SpiBitmapInfoHeader);
    h->biWidth = (int32_t)width;
    h->biHeight = (int32_t)height;
    h->biPlanes = 1;
    h->biBitCount = (uint16_t)bitCount;
    h->biCompression = 0;
    h->biSizeImage = imageSize <= UINT32_MAX ? (uint32_t)imageSize : 0;
    h->biClrUsed = (uint32_t)colorCount;
    h->biClrImportant = 0;
    /* The padding at the end of each row is defined, not left over memory. */
    const size_t used = ((size_t)width * (size_t)bitCount + 7u) / 8u;
    if (used < stride) {
        for (int64_t y = 0; y < height; ++y)
            memset(dib->pixels + (size_t)y * stride + used, 0, stride - used);
    }
    return SPI_SUCCESS;
}

int SpiTurnOfOrientation(int orientation) {
    static const int turns[9] = {0, 0, 1, 3, 2, 4, 6, 7, 5};
    return orientation >= 1 && orientation <= 8 ? turns[orientation] : 0;
}

int SpiDibCreateTurned(SpiDib* dib, int64_t width, int64_t height, int turn) {
    return (turn & 4) ? SpiDibCreate(dib, height, width, 24, 0)
                      : SpiDibCreate(dib, width, height, 24, 0);
}

void SpiDibPutTurnedRow(SpiDib* dib, int turn, int32_t width, int32_t height, int32_t y,
                        const uint8_t* bgr) {
    const int32_t a = (turn & 2) ? height - 1 - y : y;
    if (!(turn & 4)) {
        uint8_t* out = SpiDibRow(dib, a);
        if (!(turn & 1)) {
            memcpy(out, bgr, (size_t)width * 3);
            return;
        }
        for (int32_t x = 0; x < width; ++x)
            memcpy(out + (size_t)(width - 1 - x) * 3, bgr + (size_t)x * 3, 3);
        return;
    }
    /* Swapped: the stored row becomes column a, read down the picture. */
    for (int32_t x = 0; x < width; ++x) {
        const int32_t b = (turn & 1) ? width - 1 - x : x;
        memcpy(SpiDibRow(dib, b) + (size_t)a * 3, bgr + (size_t)x * 3, 3);
    }
}

void SpiDibFree(SpiDib* dib) {
    if (dib->info) {
        LocalUnlock(dib->info);
        LocalFree(dib->info);
    }
    if (dib->bits) {
        LocalUnlock(dib->bits);
        LocalFree(dib->bits);
    }
    memset(dib, 0, sizeof *dib);
}

void SpiDibHandOver(SpiDib* dib, HLOCAL* pHBInfo, HLOCAL* pHBm) {
    LocalUnlock(dib->info);
    LocalUnlock(dib->bits);
    *pHBInfo = dib->info;
    *pHBm = dib->bits;
    memset(dib, 0, sizeof *dib);
}

void SpiDibSetDpi(SpiDib* dib, double xdpi, double ydpi) {
    if (xdpi > 0 && xdpi < 1e6)
        dib->header->biXPelsPerMeter = (int32_t)(xdpi / 0.0254 + 0.5);
    if (ydpi > 0 && ydpi < 1e6)
        dib->header->biYPelsPerMeter = (int32_t)(ydpi / 0.0254 + 0.5);
}

void SpiBlendRowBgra(uint8_t* dst, const uint8_t* bgra, int32_t n) {
    for (int32_t x = 0; x < n; ++x, dst += 3, bgra += 4) {
        const unsigned a = bgra[3];
        if (a == 255) {
            dst[0] = bgra[0];
            dst[1] = bgra[1];
            dst[2] = bgra[2];
        } else {
            dst[0] = SpiBlend(bgra[0], a);
            dst[1] = SpiBlend(bgra[1], a);
            dst[2] = SpiBlend(bgra[2], a);
        }
    }
}

/* ---- Progress ----------------------------------------------------------------- */

void SpiProgressInit(SpiProgress* p, SPI_PROGRESS callback, intptr_t data, int total) {
    p->callback = callback;
    p->data = data;
    p->total = total > 0 ? total : 1;
    /* About 32 reports per picture, but not one per row for small ones. */
    p->band = p->total / 32;
    if (p->band < 16)
        p->band = 16;
    p->next = 0;
}

int SpiProgressStep(SpiProgress* p, int done) {
    if (done < p->next && done < p->total)
        return 0;
    p->next = done + p->band;
    if (!p->callback)
        return 0;
    return p->callback(done, p->total, p->data) != 0;
}

/* ---- Plug-in information ---------------------------------------------------- */

int SpiCopyText(char* buf, int buflen, const char* text) {
    if (!buf || buflen <= 0)
        return 0;
    size_t n = strlen(text);
    if (n > (size_t)buflen - 1) {
        n = (size_t)buflen - 1;
        /* Do not cut a UTF-8 sequence in two: drop its lead and continuation bytes. */
        while (n > 0 && ((unsigned char)text[n] & 0xC0u) == 0x80u)
            --n;
    }
    memcpy(buf, text, n);
    buf[n] = '\0';
    return (int)n;
}

int SpiGetPluginInfo(const SpiFormat* f, int infono, char* buf, int buflen) {
    if (!buf || buflen <= 0 || infono < 0)
        return 0;
    if (infono == 0)
        return SpiCopyText(buf, buflen, "00IN");
    if (infono == 1) {
        char scratch[256];
        return SpiCopyText(buf, buflen, f->describe(scratch, sizeof scratch));
    }
    for (int i = 0; f->formats[i]; ++i) {
        if (i == infono - 2)
            return SpiCopyText(buf, buflen, f->formats[i]);
    }
    return 0;
}

int SpiIsSupported(const SpiFormat* f, const char* filename, void* dw) {
    (void)filename; /* decided from the data, not from the name */
    if (!dw)
        return 0;
    return f->isSupported((const uint8_t*)dw) ? 1 : 0;
}

/* Reads the first bytes of the data and checks that they are this format. */
static int CheckSignature(const SpiFormat* f, SpiStream* s) {
    uint8_t head[2048];
    memset(head, 0, sizeof head);
    SpiStreamRead(s, head, sizeof head);
    if (s->readError)
        return SPI_FILE_READ_ERROR;
    if (SpiStreamSeek(s, 0) != 0)
        return SpiStreamFailure(s);
    return f->isSupported(head) ? SPI_SUCCESS : SPI_NOT_SUPPORT;
}

int SpiGetPictureInfo(const SpiFormat* f, const char* buf, intptr_t len, unsigned int flag,
                      SpiPictureInfo* info) {
    if (!info)
        return SPI_OTHER_ERROR;
    /* The host frees a non-null text handle whatever the result, so the record
     * is always written, also when the data turns out to be unusable. */
    memset(info, 0, sizeof *info);
    SpiStream s;
    int rc = SpiStreamOpen(&s, buf, len, flag);
    if (rc != SPI_SUCCESS)
        return rc;
    rc = CheckSignature(f, &s);
    if (rc == SPI_SUCCESS) {
        SpiPictureInfo out;
        memset(&out, 0, sizeof out);
        rc = f->getInfo(&s, &out);
        if (rc == SPI_SUCCESS)
            *info = out;
        info->hInfo = NULL;
    }
    SpiStreamClose(&s);
    return rc;
}

int SpiGetPicture(const SpiFormat* f, const char* buf, intptr_t len, unsigned int flag,
                  HLOCAL* pHBInfo, HLOCAL* pHBm, SPI_PROGRESS callback, intptr_t data) {
    if (!pHBInfo || !pHBm)
        return SPI_OTHER_ERROR;
    *pHBInfo = NULL;
    *pHBm = NULL;
    SpiStream s;
    int rc = SpiStreamOpen(&s, buf, len, flag);
    if (rc != SPI_SUCCESS)
        return rc;
    rc = CheckSignature(f, &s);
    if (rc == SPI_SUCCESS) {
        SpiDib dib;
        memset(&dib, 0, sizeof dib);
        SpiProgress progress;
        SpiProgressInit(&progress, callback, data, 1);
        rc = f->decode(&s, &dib, &progress);
        if (rc == SPI_SUCCESS && (!dib.info || !dib.bits))
            rc = SPI_OTHER_ERROR;
        if (rc == SPI_SUCCESS)
            SpiDibHandOver(&dib, pHBInfo, pHBm);
        else
            SpiDibFree(&dib);
    }
    SpiStreamClose(&s);
    return rc;
}
