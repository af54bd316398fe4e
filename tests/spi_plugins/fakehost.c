/*
 * A plug-in host that speaks the protocol badly, run in place of Wine by the
 * tests. VELMO_FAKEHOST names how it answers a picture:
 *
 *   good          a 1x1 picture through the shared memory
 *   once          as good, then the process ends
 *   shm-huge      "in the shared memory", sizes far past the mapping
 *   direct-huge   a 1x1 header whose bits block claims 600 MB of its memory
 *   fetch-huge    the same, kept for a fetch through the shared memory
 *   hang          never answers
 *   chatter       progress every 10 ms, never an answer
 *   half-hello    half a HELLO, then nothing
 *   garbage       a message length no host sends
 */
#include "SpiHostProtocol.h"

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

static const char Probe[16] = SPIHOST_PROBE;
static unsigned char* Shm;
static const char* Mode;

static void Send(uint32_t kind, const void* fields, uint32_t count) {
    uint32_t head[2] = {count + 4, kind};
    if (write(1, head, 8) != 8 || (count && write(1, fields, count) != (ssize_t)count))
        exit(0);
}

static void Reply32(int32_t v) {
    Send(SPIHOST_REPLY, &v, 4);
}

static int ReadAll(void* to, uint32_t count) {
    for (uint32_t done = 0; done < count;) {
        ssize_t n = read(0, (char*)to + done, count - done);
        if (n <= 0)
            return 0;
        done += (uint32_t)n;
    }
    return 1;
}

#pragma pack(push, 1)
struct TPictureReply {
    int32_t Result;
    uint64_t InfoBytes, BitsBytes;
    uint32_t InShm;
    uint64_t InfoAt, BitsAt;
    uint32_t Micros, HeaderBytes;
    int32_t Header[10]; /* biSize, width, height, planes and bit count, ... */
};
#pragma pack(pop)

static void Picture(void) {
    static unsigned char bits[4] = {0x10, 0x20, 0x30, 0};
    struct TPictureReply r = {0, 40, 4, 1, 0, 0, 0, 40, {40, 1, 1, 1 | (24 << 16)}};
    if (!strcmp(Mode, "hang") || !strcmp(Mode, "chatter"))
        for (;;) {
            int32_t progress[2] = {1, 2};
            if (Mode[0] == 'c')
                Send(SPIHOST_PROGRESS, progress, 8);
            usleep(10000);
        }
    if (!strcmp(Mode, "garbage")) {
        uint32_t huge[2] = {0xfffffff0u, SPIHOST_REPLY};
        write(1, huge, 8);
        pause();
    }
    if (!strcmp(Mode, "shm-huge")) {
        r.Header[1] = r.Header[2] = 4000;
        r.BitsBytes = 4000ull * 12000;
    } else if (strstr(Mode, "-huge")) {
        size_t claim = 600u << 20;
        unsigned char* block =
            mmap(NULL, claim, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        r.BitsBytes = claim;
        r.InShm = 0;
        r.BitsAt = (uint64_t)(uintptr_t)block;
    } else if (Shm) {
        memcpy(Shm + SPIHOST_SHM_DATA, r.Header, 40);
        memcpy(Shm + SPIHOST_SHM_DATA + 64, bits, 4);
    }
    Send(SPIHOST_REPLY, &r, sizeof r);
    if (!strcmp(Mode, "once"))
        exit(0);
}

int main(void) {
    unsigned char message[SPIHOST_MAX_REQUEST];
    struct {
        uint32_t Version, Bits;
        uint64_t Probe;
    } hello = {SPIHOST_VERSION, 64, (uint64_t)(uintptr_t)Probe};
    Mode = getenv("VELMO_FAKEHOST") ? getenv("VELMO_FAKEHOST") : "good";
    if (!strcmp(Mode, "half-hello")) {
        write(1, &hello, 6);
        pause();
    }
    Send(SPIHOST_HELLO, &hello, sizeof hello);
    for (;;) {
        uint32_t length, kind;
        if (!ReadAll(&length, 4) || length < 4 || length > sizeof message ||
            !ReadAll(message, length))
            return 0;
        memcpy(&kind, message, 4);
        if (kind == SPIHOST_SHM_MAP) {
            char path[4096] = {0};
            uint32_t n;
            memcpy(&n, message + 4, 4);
            memcpy(path, message + 8, n < sizeof path - 1 ? n : sizeof path - 1);
            int fd = open(path, O_RDWR);
            Shm = mmap(NULL, 1u << 20, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            Reply32(0);
        } else if (kind == SPIHOST_LOAD) {
            static const char info[] = "\0\0\0\0\4\0\0\0"
                                       "00IN";
            uint32_t head[3] = {0, 0x1f, 1};
            unsigned char out[12 + sizeof info - 1];
            memcpy(out, head, 12);
            memcpy(out + 12, info, sizeof info - 1);
            Send(SPIHOST_REPLY, out, sizeof out);
        } else if (kind == SPIHOST_IS_SUPPORTED) {
            Reply32(1);
        } else if (kind == SPIHOST_PICTURE || kind == SPIHOST_PREVIEW) {
            Picture();
        } else if (kind == SPIHOST_FETCH) {
            Reply32(0);
        } else if (kind != SPIHOST_RELEASE) {
            Reply32(0);
        }
    }
}
