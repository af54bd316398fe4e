#include "toolkit/JpegFileSource.h"

#include "toolkit/Graphic.h"

#include <cerrno>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

#include <jerror.h>

namespace {

constexpr qsizetype FileChunk = 65536;

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<TJpegFileSource*>(cinfo->src);
    QByteArray& kept = *src->Kept;
    ssize_t n = -1;
    if (kept.size() < GraphicAllocationLimit() / 2) {
        kept.resize(kept.size() + FileChunk);
        do
            n = ::read(src->File, kept.data() + kept.size() - FileChunk, FileChunk);
        while (n < 0 && errno == EINTR);
        kept.resize(kept.size() - FileChunk + qMax<ssize_t>(n, 0));
    }
    if (n <= 0) {
        // Like libjpeg's own file source: a warning and a made-up end marker,
        // so a file cut short shows what it holds.
        static const JOCTET End[2] = {0xFF, JPEG_EOI};
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->Pub.next_input_byte = End;
        src->Pub.bytes_in_buffer = 2;
        return TRUE;
    }
    src->Offset = kept.size() - n;
    src->Pub.next_input_byte = reinterpret_cast<const JOCTET*>(kept.constData()) + src->Offset;
    src->Pub.bytes_in_buffer = size_t(n);
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    while (count > long(src->bytes_in_buffer)) {
        count -= long(src->bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    if (count > 0) {
        src->next_input_byte += count;
        src->bytes_in_buffer -= size_t(count);
    }
}

void FreePixels(void* pixels) {
    std::free(pixels);
}

} // namespace

void UseJpegFileSource(j_decompress_ptr Info, TJpegFileSource& Source, int File, QByteArray& Kept) {
    Source.Pub.init_source = InitSource;
    Source.Pub.fill_input_buffer = FillInputBuffer;
    Source.Pub.skip_input_data = SkipInputData;
    Source.Pub.resync_to_restart = jpeg_resync_to_restart;
    Source.Pub.term_source = TermSource;
    Source.Pub.next_input_byte = nullptr;
    Source.Pub.bytes_in_buffer = 0;
    Source.File = File;
    Source.Kept = &Kept;
    Source.Offset = 0;
    Info->src = &Source.Pub;
}

QImage AllocateJpegImage(int Width, int Height) {
    // Touching 100 MB of fresh 4 KB pages costs about a sixth of a full
    // decode; huge pages take most of that away.
    constexpr size_t HugePage = size_t(2) << 20;
    const qsizetype stride = qsizetype(Width) * 4;
    const size_t bytes = size_t(stride) * size_t(Height);
    if (bytes < 4 * HugePage)
        return QImage(Width, Height, QImage::Format_RGB32);
    const size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
    void* pixels = std::aligned_alloc(HugePage, rounded);
    if (!pixels)
        return QImage();
    madvise(pixels, rounded, MADV_HUGEPAGE);
    return QImage(static_cast<uchar*>(pixels), Width, Height, stride, QImage::Format_RGB32,
                  FreePixels, pixels);
}
