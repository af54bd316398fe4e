/*
 * What Velmo and a plug-in host say to each other over the host's standard
 * input and output. Every message is a 32-bit byte count of what follows,
 * a 32-bit kind, then the kind's fields, all little-endian, with no padding.
 * Texts are a 32-bit byte count and the bytes. The client sends one request
 * at a time; the host answers it with any number of progress messages and
 * then exactly one reply (all but SPIHOST_RELEASE, which has none).
 *
 * In-memory data travels through a shared memory file that the client makes
 * (SHM_MAP); the host keeps it mapped until another replaces it. A decoded
 * picture comes back through that file too, or, when the client can read the
 * host's memory (the host's HELLO names a probe to try it on), straight from
 * the plug-in's own blocks: one copy instead of two.
 */
#ifndef VELMO_SPI_HOST_PROTOCOL_H
#define VELMO_SPI_HOST_PROTOCOL_H

#define SPIHOST_VERSION 3

/* Longest request the host accepts (a path, a header, a few numbers). */
#define SPIHOST_MAX_REQUEST (64 * 1024)
/* Header bytes offered to IsSupported, from the offset tried on. */
#define SPIHOST_HEADER_BYTES 2048
/* In the shared memory: a 32-bit stop flag at byte 0 that the client sets
 * when the progress handler asks the plug-in to stop; data from this byte on. */
#define SPIHOST_SHM_DATA 4096
/* Longest picture header (information header, masks, colour table) a
 * reply carries. */
#define SPIHOST_MAX_INFO (64 * 1024)
/* The picture's bits follow its header and colour table at this alignment. */
#define SPIHOST_BITS_ALIGN 64
/* The 16 bytes at the HELLO's probe address. */
#define SPIHOST_PROBE "velmo spihost 2"

enum {
    /* host: the one reply to a request; its fields are the request's. */
    SPIHOST_REPLY = 0,
    /* host: u32 version, u32 pointer bits, u64 address of SPIHOST_PROBE in
     * the host. Sent once, when the host is ready. */
    SPIHOST_HELLO = 1,
    /* client: text path of the shared memory file. reply: i32 result (0 ok). */
    SPIHOST_SHM_MAP = 2,
    /* client: text path of the plug-in. reply: i32 plug-in number (-1: it
     * does not load), u32 exports (bit i: SpiHostExportNames[i]), u32 count,
     * then count times (i32 result, text) for GetPluginInfo 0, 1, 2, ...
     * in the order the client reads them, texts in UTF-8. */
    SPIHOST_LOAD = 3,
    /* client: i32 plug-in, text file name, SPIHOST_HEADER_BYTES header bytes.
     * reply: i32 result. */
    SPIHOST_IS_SUPPORTED = 4,
    /* client: i32 plug-in, u32 flag, i64 length or offset, text file name;
     * memory data is at SPIHOST_SHM_DATA. reply: i32 result, i32 left, top,
     * width, height, u16 x density, y density, i16 colour depth. The text
     * information handle is freed by the host. */
    SPIHOST_PICTURE_INFO = 5,
    /* client: as SPIHOST_PICTURE_INFO, then u32 direct (1: the client reads
     * the host's memory). host: SPIHOST_PROGRESS messages, then the reply:
     * i32 result, u64 info bytes, u64 bits bytes, u32 in memory, u64 info
     * address, u64 bits address, u32 microseconds the plug-in took, text
     * the info block itself (empty when it is longer than SPIHOST_MAX_INFO):
     * the client sizes everything it takes by that header. A size
     * of 0 stands for a handle the plug-in left empty. In memory 1: the info
     * is at SPIHOST_SHM_DATA and the bits follow at the next
     * SPIHOST_BITS_ALIGN boundary; 0: the host keeps the picture, at the two
     * addresses in its own memory, until SPIHOST_FETCH, SPIHOST_RELEASE or
     * the next picture. A direct request is always kept; another only when
     * the shared memory is too small. */
    SPIHOST_PICTURE = 6,
    SPIHOST_PREVIEW = 7,
    /* host: i32 done, i32 total, sent when the percent done changes. */
    SPIHOST_PROGRESS = 8,
    /* client, after mapping a larger file: u64 bits bytes wanted; the kept
     * picture's info and at most that many of its bits into it.
     * reply: i32 result (0 ok; the picture is given up either way). */
    SPIHOST_FETCH = 9,
    /* client, after reading the kept picture: give it up. No fields and the
     * one request without a reply. */
    SPIHOST_RELEASE = 10
};

/* Export i of a loaded plug-in is bit i of the exports mask. */
#define SPIHOST_EXPORT_COUNT 9
#define SPIHOST_EXPORT_NAMES                                                                       \
    {                                                                                              \
        "GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture", "GetPreview",              \
            "GetArchiveInfo", "GetFileInfo", "GetFile", "ConfigurationDlg"                         \
    }

#endif /* VELMO_SPI_HOST_PROTOCOL_H */
