/*
 * A plug-in host that speaks the protocol badly, run in place of Wine by the
 * tests. VELMO_FAKEHOST says how it answers a picture: good (1x1 through the
 * shared memory), once (the same, then it ends), shm-huge (sizes past the
 * mapping), direct-huge and fetch-huge (a 1x1 header, 600 MB of bits
 * claimed), hang, chatter (progress every 10 ms, no answer), half-hello,
 * garbage (a length no host sends).
 */
#include "SpiHostProtocol.h"

#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

static const char Probe[16] = SPIHOST_PROBE;
static unsigned char* Shm;

static void Send(uint32_t kind, const void* fields, uint32_t count) {
    uint32_t head[2] = {count + 4, kind};
    if (write(1, head, 8) != 8 || (count && write(1, fields, count) != (ssize_t)count))
        exit(0);
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
    int32_t Header[10]; /* size, width, height, planes and bit count, ... */
};
#pragma pack(pop)

static void Picture(const char* mode) {
    struct TPictureReply r = {0, 40, 4, 1, 0, 0, 0, 40, {40, 1, 1, 1 | (24 << 16)}};
    int32_t progress[2] = {1, 2};
    while (!strcmp(mode, "hang") || !strcmp(mode, "chatter")) {
        if (mode[0] == 'c')
            Send(SPIHOST_PROGRESS, progress, 8);
        usleep(10000);
    }
    if (!strcmp(mode, "garbage"))
        write(1, (uint32_t[2]){0xfffffff0u, 0}, 8), pause();
    if (!strcmp(mode, "shm-huge")) {
        r.Header[1] = r.Header[2] = 4000;
        r.BitsBytes = 4000ull * 12000;
    } else if (strstr(mode, "-huge")) {
        r.BitsBytes = 600u << 20;
        r.InShm = 0;
        r.BitsAt =
            (uintptr_t)mmap(NULL, r.BitsBytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    } else if (Shm) {
        memcpy(Shm + SPIHOST_SHM_DATA, r.Header, 40);
        memcpy(Shm + SPIHOST_SHM_DATA + 64, "\x10\x20\x30", 4);
    }
    Send(SPIHOST_REPLY, &r, sizeof r);
    if (!strcmp(mode, "once"))
        exit(0);
}

int main(void) {
    static unsigned char m[SPIHOST_MAX_REQUEST + 1];
    const char* mode = getenv("VELMO_FAKEHOST") ? getenv("VELMO_FAKEHOST") : "good";
    struct {
        uint32_t Version, Bits;
        uint64_t Probe;
    } hello = {SPIHOST_VERSION, 64, (uintptr_t)Probe};
    static const unsigned char loaded[] = {0, 0, 0, 0, 0x1f, 0, 0, 0, 1,   0,   0,   0,
                                           0, 0, 0, 0, 4,    0, 0, 0, '0', '0', 'I', 'N'};
    uint32_t length, kind, zero = 0, one = 1;
    if (!strcmp(mode, "half-hello"))
        write(1, &hello, 6), pause();
    Send(SPIHOST_HELLO, &hello, sizeof hello);
    while (ReadAll(&length, 4) && length >= 4 && length <= SPIHOST_MAX_REQUEST &&
           ReadAll(m, length)) {
        m[length] = 0;
        memcpy(&kind, m, 4);
        if (kind == SPIHOST_SHM_MAP)
            Shm = mmap(NULL, 1u << 20, PROT_READ | PROT_WRITE, MAP_SHARED,
                       open((char*)m + 8, O_RDWR), 0);
        if (kind == SPIHOST_LOAD)
            Send(SPIHOST_REPLY, loaded, sizeof loaded);
        else if (kind == SPIHOST_PICTURE || kind == SPIHOST_PREVIEW)
            Picture(mode);
        else if (kind != SPIHOST_RELEASE)
            Send(SPIHOST_REPLY, kind == SPIHOST_IS_SUPPORTED ? &one : &zero, 4);
    }
    return 0;
}
