/*
 * The plug-in host: a small Windows program, run by Velmo under Wine, that
 * loads Windows decoder plug-ins and answers the calls Velmo makes to them
 * (SpiHostProtocol.h). One host serves every plug-in of its bitness. A
 * plug-in that crashes ends this process at once, never Velmo.
 */
#include "HostNames.h"
#include "SpiHostProtocol.h"
#include "spi_win.h"

#include <io.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_PLUGINS 256

typedef struct {
    HMODULE Module;
    FARPROC Exports[SPIHOST_EXPORT_COUNT];
} TPlugin;

static HANDLE In, Out;
static TPlugin Plugins[MAX_PLUGINS];
static int PluginCount;
static unsigned char* Shm;
static uint64_t ShmSize;
static HLOCAL KeptInfo, KeptBits;
static int KeptLocked; /* the kept picture is locked where the client reads it */
static int LastPercent;
static const char Probe[16] = SPIHOST_PROBE;

/* ---- Messages ------------------------------------------------------------------ */

static void ReadExactly(void* buffer, DWORD count) {
    DWORD done = 0, n;
    while (done < count) {
        if (!ReadFile(In, (char*)buffer + done, count - done, &n, NULL) || n == 0)
            ExitProcess(0); /* the client has gone */
        done += n;
    }
}

typedef struct {
    unsigned char* Data;
    uint32_t Size, Used;
} TBuffer;

static void Put(TBuffer* b, const void* data, uint32_t count) {
    if (b->Used + count > b->Size) {
        b->Size = (b->Used + count) * 2;
        b->Data = realloc(b->Data, b->Size);
        if (!b->Data)
            ExitProcess(4);
    }
    memcpy(b->Data + b->Used, data, count);
    b->Used += count;
}
static void Put32(TBuffer* b, uint32_t v) {
    Put(b, &v, 4);
}
static void Put64(TBuffer* b, uint64_t v) {
    Put(b, &v, 8);
}
static void PutText(TBuffer* b, const char* text) {
    Put32(b, (uint32_t)strlen(text));
    Put(b, text, (uint32_t)strlen(text));
}

/* A message under construction: room for its byte count, then its kind. */
static TBuffer Begin(uint32_t kind) {
    TBuffer b = {NULL, 0, 0};
    Put32(&b, 0);
    Put32(&b, kind);
    return b;
}

static void Send(TBuffer* b) {
    DWORD done = 0, n;
    uint32_t count = b->Used - 4;
    memcpy(b->Data, &count, 4);
    while (done < b->Used) {
        if (!WriteFile(Out, b->Data + done, b->Used - done, &n, NULL) || n == 0)
            ExitProcess(0);
        done += n;
    }
    free(b->Data);
}

/* Reads fields of a request in order; a request cut short ends the host. */
typedef struct {
    const unsigned char* At;
    const unsigned char* End;
} TReader;

static const void* Take(TReader* r, uint32_t count) {
    const void* at = r->At;
    if ((uint32_t)(r->End - r->At) < count)
        ExitProcess(5);
    r->At += count;
    return at;
}
static uint32_t Take32(TReader* r) {
    uint32_t v;
    memcpy(&v, Take(r, 4), 4);
    return v;
}
static int64_t Take64(TReader* r) {
    int64_t v;
    memcpy(&v, Take(r, 8), 8);
    return v;
}
/* A text of the request, copied and terminated. */
static char* TakeText(TReader* r) {
    uint32_t n = Take32(r);
    const void* bytes = Take(r, n);
    char* text = malloc(n + 1);
    memcpy(text, bytes, n);
    text[n] = '\0';
    return text;
}

/* ---- Requests -------------------------------------------------------------------- */

static void Reply(int32_t result) {
    TBuffer b = Begin(SPIHOST_REPLY);
    Put32(&b, (uint32_t)result);
    Send(&b);
}

static void MapShared(TReader* r) {
    char* path = TakeText(r);
    WCHAR* dos = DosPath(path);
    HANDLE file = INVALID_HANDLE_VALUE, mapping = NULL;
    LARGE_INTEGER size = {0};
    void* view = NULL;
    free(path);
    if (dos)
        file = CreateFileW(dos, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    free(dos);
    if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) &&
        (uint64_t)size.QuadPart <= (uint64_t)(SIZE_MAX / 2))
        mapping = CreateFileMappingW(file, NULL, PAGE_READWRITE, 0, 0, NULL);
    if (mapping)
        view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (mapping)
        CloseHandle(mapping);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!view) {
        Reply(1);
        return;
    }
    if (Shm)
        UnmapViewOfFile(Shm);
    Shm = view;
    ShmSize = (uint64_t)size.QuadPart;
    Reply(0);
}

static void Load(TReader* r) {
    static const char* const names[SPIHOST_EXPORT_COUNT] = SPIHOST_EXPORT_NAMES;
    char* path = TakeText(r);
    WCHAR* dos = DosPath(path);
    HMODULE module = dos ? LoadLibraryExW(dos, NULL, LOAD_WITH_ALTERED_SEARCH_PATH) : NULL;
    TBuffer b = Begin(SPIHOST_REPLY), entries = {NULL, 0, 0};
    uint32_t mask = 0, count = 0;
    int i, n;
    free(path);
    free(dos);
    if (!module || PluginCount == MAX_PLUGINS) {
        Put32(&b, (uint32_t)-1);
        Put32(&b, 0);
        Put32(&b, 0);
        Send(&b);
        return;
    }
    Plugins[PluginCount].Module = module;
    for (i = 0; i < SPIHOST_EXPORT_COUNT; ++i) {
        Plugins[PluginCount].Exports[i] = GetProcAddress(module, names[i]);
        if (Plugins[PluginCount].Exports[i])
            mask |= 1u << i;
    }
    /* Information 0 and 1, then pairs until one of a pair fails. */
    if (Plugins[PluginCount].Exports[0]) {
        SPI_GetPluginInfo info = (SPI_GetPluginInfo)(void*)Plugins[PluginCount].Exports[0];
        for (n = 0; n <= 2 * 4096 + 1; ++n) {
            char text[260];
            char* utf8;
            int result;
            memset(text, 0, sizeof text);
            result = info(n, text, 255);
            text[255] = '\0';
            utf8 = Utf8FromPlugin(text);
            Put32(&entries, (uint32_t)result);
            PutText(&entries, utf8);
            free(utf8);
            ++count;
            if (n >= 2 && result <= 0)
                break;
        }
    }
    Put32(&b, (uint32_t)PluginCount++);
    Put32(&b, mask);
    Put32(&b, count);
    if (entries.Used)
        Put(&b, entries.Data, entries.Used);
    free(entries.Data);
    Send(&b);
}

static TPlugin* PluginOf(TReader* r) {
    uint32_t id = Take32(r);
    return id < (uint32_t)PluginCount ? &Plugins[id] : NULL;
}

static void IsSupportedRequest(TReader* r) {
    TPlugin* p = PluginOf(r);
    char* name = TakeText(r);
    char* fileName = PluginFileName(name);
    unsigned char header[SPIHOST_HEADER_BYTES + 128];
    int result = 0;
    memset(header, 0, sizeof header);
    memcpy(header, Take(r, SPIHOST_HEADER_BYTES), SPIHOST_HEADER_BYTES);
    if (p && p->Exports[1])
        result = ((SPI_IsSupported)(void*)p->Exports[1])(fileName, header);
    free(name);
    free(fileName);
    Reply(result);
}

/* The data argument of a call: the file name, or the data in shared memory. */
typedef struct {
    unsigned int Flag;
    intptr_t Length;
    char* Name;
    const char* Buffer;
} TSource;

static int TakeSource(TReader* r, TSource* s) {
    char* name;
    int64_t length;
    s->Flag = Take32(r);
    length = Take64(r);
    name = TakeText(r);
    s->Length = (intptr_t)length;
    s->Name = NULL;
    if ((s->Flag & SPI_INPUT_MASK) == SPI_INPUT_MEMORY) {
        free(name);
        if (!Shm || length < 0 || (uint64_t)length > ShmSize - SPIHOST_SHM_DATA)
            return 0;
        s->Buffer = (const char*)Shm + SPIHOST_SHM_DATA;
        return 1;
    }
    s->Name = PluginFileName(name);
    s->Buffer = s->Name;
    free(name);
    return (int64_t)s->Length == length;
}

static void PictureInfoRequest(TReader* r) {
    TPlugin* p = PluginOf(r);
    TSource s;
    SpiPictureInfo info;
    int result = SPI_NO_FUNCTION;
    TBuffer b;
    memset(&info, 0, sizeof info);
    if (TakeSource(r, &s) && p && p->Exports[2]) {
        result = ((SPI_GetPictureInfo)(void*)p->Exports[2])(s.Buffer, s.Length, s.Flag, &info);
        if (info.hInfo)
            LocalFree(info.hInfo);
    }
    free(s.Name);
    b = Begin(SPIHOST_REPLY);
    Put32(&b, (uint32_t)result);
    Put(&b, &info, 4 * 4 + 3 * 2);
    Send(&b);
}

static int SPI_CALL Progress(int done, int total, intptr_t data) {
    int percent = total > 0 ? (int)((int64_t)done * 100 / total) : -1;
    (void)data;
    if (percent != LastPercent) {
        TBuffer b = Begin(SPIHOST_PROGRESS);
        LastPercent = percent;
        Put32(&b, (uint32_t)done);
        Put32(&b, (uint32_t)total);
        Send(&b);
    }
    return Shm && *(volatile LONG*)Shm ? 1 : 0;
}

static void Forget(HLOCAL* h) {
    if (*h) {
        if (KeptLocked)
            LocalUnlock(*h);
        LocalFree(*h);
    }
    *h = NULL;
}

/* Gives up the kept picture. */
static void ForgetKept(void) {
    Forget(&KeptInfo);
    Forget(&KeptBits);
    KeptLocked = 0;
}

/* Where the client reads a kept handle; 0 for none. */
static uint64_t LockKept(HLOCAL h) {
    return h ? (uint64_t)(uintptr_t)LocalLock(h) : 0;
}

static uint64_t BitsOffset(uint64_t infoBytes) {
    return (infoBytes + SPIHOST_BITS_ALIGN - 1) / SPIHOST_BITS_ALIGN * SPIHOST_BITS_ALIGN;
}

/* Copies the kept picture (at most that many bytes of its bits) into the
 * shared memory when it fits, and gives it up then. */
static int CopyKept(uint64_t bitsWanted) {
    uint64_t infoBytes = KeptInfo ? LocalSize(KeptInfo) : 0;
    uint64_t bitsBytes = KeptBits ? LocalSize(KeptBits) : 0;
    if (bitsBytes > bitsWanted)
        bitsBytes = bitsWanted;
    if (!Shm || SPIHOST_SHM_DATA + BitsOffset(infoBytes) + bitsBytes > ShmSize)
        return 0;
    if (infoBytes) {
        memcpy(Shm + SPIHOST_SHM_DATA, LocalLock(KeptInfo), (size_t)infoBytes);
        LocalUnlock(KeptInfo);
    }
    if (bitsBytes) {
        memcpy(Shm + SPIHOST_SHM_DATA + BitsOffset(infoBytes), LocalLock(KeptBits),
               (size_t)bitsBytes);
        LocalUnlock(KeptBits);
    }
    ForgetKept();
    return 1;
}

static void PictureRequest(TReader* r, int preview) {
    TPlugin* p = PluginOf(r);
    FARPROC entry = p ? p->Exports[preview ? 4 : 3] : NULL;
    TSource s;
    HLOCAL info = NULL, bits = NULL;
    int result = SPI_NO_FUNCTION;
    uint64_t infoBytes = 0, bitsBytes = 0, infoAt = 0, bitsAt = 0;
    uint32_t inShm = 0, direct = 0;
    int source;
    LARGE_INTEGER frequency, start, end;
    TBuffer b;
    ForgetKept();
    source = TakeSource(r, &s);
    direct = Take32(r);
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (source && entry) {
        LastPercent = -2;
        result =
            ((SPI_GetPicture)(void*)entry)(s.Buffer, s.Length, s.Flag, &info, &bits, Progress, 0);
    }
    QueryPerformanceCounter(&end);
    free(s.Name);
    if (result == SPI_SUCCESS) {
        /* A failing plug-in's handles are its own; a successful one's are
         * the host's to hand on and free. */
        KeptInfo = info;
        KeptBits = bits;
        infoBytes = info ? LocalSize(info) : 0;
        bitsBytes = bits ? LocalSize(bits) : 0;
        if (sizeof(void*) == 4 && BitsOffset(infoBytes) + bitsBytes >= ((uint64_t)1 << 31)) {
            /* No 32-bit host can map that much at once. */
            ForgetKept();
            result = SPI_NO_MEMORY;
            infoBytes = bitsBytes = 0;
        } else if (!direct) {
            inShm = (uint32_t)CopyKept(UINT64_MAX);
        }
        if (!inShm && result == SPI_SUCCESS) {
            infoAt = LockKept(KeptInfo);
            bitsAt = LockKept(KeptBits);
            KeptLocked = 1;
        }
    }
    b = Begin(SPIHOST_REPLY);
    Put32(&b, (uint32_t)result);
    Put64(&b, infoBytes);
    Put64(&b, bitsBytes);
    Put32(&b, inShm);
    Put64(&b, infoAt);
    Put64(&b, bitsAt);
    Put32(&b, (uint32_t)((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart));
    if (result == SPI_SUCCESS && KeptInfo && infoBytes <= SPIHOST_MAX_INFO) {
        Put32(&b, (uint32_t)infoBytes);
        Put(&b, LocalLock(KeptInfo), (uint32_t)infoBytes);
        LocalUnlock(KeptInfo);
    } else if (result == SPI_SUCCESS && inShm && infoBytes <= SPIHOST_MAX_INFO) {
        Put32(&b, (uint32_t)infoBytes);
        Put(&b, Shm + SPIHOST_SHM_DATA, (uint32_t)infoBytes);
    } else {
        Put32(&b, 0);
    }
    Send(&b);
}

static LONG WINAPI Crashed(EXCEPTION_POINTERS* e) {
    fprintf(stderr, "spihost: exception %08lx at %p\n", e->ExceptionRecord->ExceptionCode,
            e->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(void) {
    unsigned char* message = malloc(SPIHOST_MAX_REQUEST);
    TBuffer hello;
    HANDLE nul;
    /* A crashing plug-in ends the host at once: no box, no debugger. */
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(Crashed);

    /* The protocol keeps the standard handles to itself; a plug-in that
     * reads or writes its standard input or output meets nothing. */
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_INPUT_HANDLE), GetCurrentProcess(), &In,
                    0, FALSE, DUPLICATE_SAME_ACCESS);
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(), &Out,
                    0, FALSE, DUPLICATE_SAME_ACCESS);
    nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                      OPEN_EXISTING, 0, NULL);
    SetStdHandle(STD_INPUT_HANDLE, nul);
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    freopen("NUL", "rb", stdin);
    _dup2(_fileno(stderr), _fileno(stdout));

    hello = Begin(SPIHOST_HELLO);
    Put32(&hello, SPIHOST_VERSION);
    Put32(&hello, (uint32_t)(sizeof(void*) * 8));
    Put64(&hello, (uint64_t)(uintptr_t)Probe);
    Send(&hello);

    for (;;) {
        uint32_t length, kind;
        TReader r;
        ReadExactly(&length, 4);
        if (length < 4 || length > SPIHOST_MAX_REQUEST)
            ExitProcess(5);
        ReadExactly(message, length);
        memcpy(&kind, message, 4);
        r.At = message + 4;
        r.End = message + length;
        switch (kind) {
        case SPIHOST_SHM_MAP:
            MapShared(&r);
            break;
        case SPIHOST_LOAD:
            Load(&r);
            break;
        case SPIHOST_IS_SUPPORTED:
            IsSupportedRequest(&r);
            break;
        case SPIHOST_PICTURE_INFO:
            PictureInfoRequest(&r);
            break;
        case SPIHOST_PICTURE:
        case SPIHOST_PREVIEW:
            PictureRequest(&r, kind == SPIHOST_PREVIEW);
            break;
        case SPIHOST_FETCH:
            Reply(CopyKept((uint64_t)Take64(&r)) ? 0 : SPI_NO_MEMORY);
            ForgetKept();
            break;
        case SPIHOST_RELEASE:
            ForgetKept();
            break;
        default:
            ExitProcess(5);
        }
    }
}
