#include "toolkit/JPEGImageDecoder.h"

#include "platform/Exceptions.h"
#include "toolkit/Graphic.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <sys/mman.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

int JpegScaleFor(const QSize& Natural, const QSize& Target) {
    if (!Target.isValid() || Target.isEmpty() || Natural.isEmpty())
        return 8;
    // Only the power-of-two scales have libjpeg-turbo's fast (SIMD) inverse DCT.
    for (int scale : {1, 2, 4}) {
        const QSize s = JpegScaledSize(Natural, scale);
        if (s.width() >= Target.width() && s.height() >= Target.height())
            return scale;
    }
    return 8;
}

QSize JpegScaledSize(const QSize& Natural, int Scale) {
    // libjpeg rounds the scaled dimensions up.
    return QSize(int((qint64(Natural.width()) * Scale + 7) / 8),
                 int((qint64(Natural.height()) * Scale + 7) / 8));
}

namespace {

// Everything a decode run changes lives here, outside the function that
// calls setjmp, so its values are well defined after a longjmp.
struct TJob {
    const QByteArray* Data = nullptr;
    int File = -1;              // read from this file instead of Data
    QByteArray* Kept = nullptr; // what was read of File
    const std::function<int(QSize)>* ChooseScale = nullptr;
    const std::function<void(int)>* Progress = nullptr;
    TJpegDecodeResult Result;
    QString Error;
    std::exception_ptr Thrown;
    int LastPercent = -1;
};

struct TErrorMgr {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
};

struct TProgressMgr {
    jpeg_progress_mgr Pub;
    TJob* Job;
};

void ErrorExit(j_common_ptr cinfo) {
    auto* job = static_cast<TJob*>(cinfo->client_data);
    {
        char text[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, text);
        job->Error = QString::fromLocal8Bit(text);
    }
    std::longjmp(reinterpret_cast<TErrorMgr*>(cinfo->err)->Jump, 1);
}

// Warnings (a file cut short, a damaged segment) are counted, not printed.
void OutputMessage(j_common_ptr) {}

void Monitor(j_common_ptr cinfo) {
    auto* mgr = reinterpret_cast<TProgressMgr*>(cinfo->progress);
    TJob* job = mgr->Job;
    const jpeg_progress_mgr& p = mgr->Pub;
    const int passes = p.total_passes > 0 ? p.total_passes : 1;
    const long inPass = p.pass_limit > 0 ? p.pass_counter * 100 / p.pass_limit : 0;
    const int percent = qBound(0, int((p.completed_passes * 100 + inPass) / passes), 100);
    // When a progressive file has more scans than libjpeg estimated, it raises
    // the pass limit on the way, which would send the percent back; the
    // report only ever moves forward.
    if (percent <= job->LastPercent || !*job->Progress)
        return;
    job->LastPercent = percent;
    bool failed = false;
    try {
        (*job->Progress)(percent);
    } catch (...) {
        job->Thrown = std::current_exception();
        failed = true;
    }
    if (failed)
        std::longjmp(reinterpret_cast<TErrorMgr*>(cinfo->err)->Jump, 1);
}

// Turns a row of CMYK samples into RGB32 in place. Adobe's files store the
// inks inverted, which is how most CMYK JPEGs come.
void CmykRowToRgb(uchar* row, int width, bool inverted) {
    auto* out = reinterpret_cast<QRgb*>(row);
    for (int x = 0; x < width; ++x) {
        int c = row[4 * x], m = row[4 * x + 1], y = row[4 * x + 2], k = row[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

void FreePixels(void* pixels) {
    std::free(pixels);
}

// A large picture is placed in memory the kernel may back with huge pages:
// touching 100 MB of fresh 4 KB pages costs about a sixth of a full decode.
QImage AllocateImage(int width, int height) {
    constexpr size_t HugePage = size_t(2) << 20;
    const qsizetype stride = qsizetype(width) * 4;
    const size_t bytes = size_t(stride) * size_t(height);
    if (bytes < 4 * HugePage)
        return QImage(width, height, QImage::Format_RGB32);
    const size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
    void* pixels = std::aligned_alloc(HugePage, rounded);
    if (!pixels)
        return QImage();
    madvise(pixels, rounded, MADV_HUGEPAGE);
    return QImage(static_cast<uchar*>(pixels), width, height, stride, QImage::Format_RGB32,
                  FreePixels, pixels);
}

// Reads a file in pieces as libjpeg asks for them and keeps what it read,
// so only the JPEG stream itself comes into memory, never whatever follows
// it in the file. More than half the allocation limit of compressed data is
// taken as the end of the file.
struct TFileSource {
    jpeg_source_mgr Pub;
    int File;
    QByteArray* Kept;
    qsizetype Offset; // of the buffer in Kept
};

constexpr qsizetype FileChunk = 65536;

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<TFileSource*>(cinfo->src);
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

// Holds no C++ object with a destructor of its own, so a longjmp out of
// libjpeg skips nothing that needs cleaning up.
bool RunDecode(TJob* job) {
    jpeg_decompress_struct cinfo;
    TErrorMgr jerr;
    TProgressMgr progress;
    cinfo.err = jpeg_std_error(&jerr.Pub);
    jerr.Pub.error_exit = ErrorExit;
    jerr.Pub.output_message = OutputMessage;
    if (setjmp(jerr.Jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.client_data = job;
    progress.Pub.progress_monitor = Monitor;
    progress.Job = job;
    cinfo.progress = &progress.Pub;

    TFileSource file;
    if (job->File >= 0) {
        file.Pub.init_source = InitSource;
        file.Pub.fill_input_buffer = FillInputBuffer;
        file.Pub.skip_input_data = SkipInputData;
        file.Pub.resync_to_restart = jpeg_resync_to_restart;
        file.Pub.term_source = TermSource;
        file.Pub.next_input_byte = nullptr;
        file.Pub.bytes_in_buffer = 0;
        file.File = job->File;
        file.Kept = job->Kept;
        file.Offset = 0;
        cinfo.src = &file.Pub;
    } else {
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(job->Data->constData()),
                     static_cast<unsigned long>(job->Data->size()));
    }
    jpeg_read_header(&cinfo, TRUE);
    job->Result.Natural = QSize(int(cinfo.image_width), int(cinfo.image_height));

    int scale = 8;
    if (*job->ChooseScale) {
        bool failed = false;
        try {
            scale = (*job->ChooseScale)(job->Result.Natural);
        } catch (...) {
            job->Thrown = std::current_exception();
            failed = true;
        }
        if (failed) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    cinfo.scale_num = static_cast<unsigned int>(qBound(1, scale, 8));
    cinfo.scale_denom = 8;
    jpeg_calc_output_dimensions(&cinfo);
    job->Result.Scale = int(cinfo.scale_num);

    const qint64 bytes = qint64(cinfo.output_width) * cinfo.output_height * 4;
    if (bytes <= GraphicAllocationLimit())
        job->Result.Image = AllocateImage(int(cinfo.output_width), int(cinfo.output_height));
    if (job->Result.Image.isNull()) {
        job->Error = QStringLiteral("画像が大きすぎて読み込めません（%1 x %2）")
                         .arg(cinfo.image_width)
                         .arg(cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    jpeg_start_decompress(&cinfo);
    uchar* bits = job->Result.Image.bits();
    const qsizetype stride = job->Result.Image.bytesPerLine();
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[8];
        const int first = int(cinfo.output_scanline);
        const int count = qMin(8, int(cinfo.output_height) - first);
        for (int i = 0; i < count; ++i)
            rows[i] = bits + stride * (first + i);
        const int got = int(jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count)));
        if (cmyk)
            for (int i = 0; i < got; ++i)
                CmykRowToRgb(rows[i], int(cinfo.output_width), cinfo.saw_Adobe_marker);
    }
    job->Result.Warnings = int(jerr.Pub.num_warnings);
    // Trailing data after the last row is of no interest; destroying the
    // decompressor without finishing it skips it.
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

namespace {
TJpegDecodeResult Decode(TJob& job) {
    if (!RunDecode(&job)) {
        if (job.Thrown)
            std::rethrow_exception(job.Thrown);
        throw EInvalidGraphic(QStringLiteral("JPEG 画像を読み込めません（%1）").arg(job.Error));
    }
    return std::move(job.Result);
}
} // namespace

TJpegDecodeResult DecodeJpeg(const QByteArray& Data, const std::function<int(QSize)>& ChooseScale,
                             const std::function<void(int)>& Progress) {
    TJob job;
    job.Data = &Data;
    job.ChooseScale = &ChooseScale;
    job.Progress = &Progress;
    return Decode(job);
}

TJpegDecodeResult DecodeJpegFile(int File, QByteArray& Kept,
                                 const std::function<int(QSize)>& ChooseScale,
                                 const std::function<void(int)>& Progress) {
    TJob job;
    job.File = File;
    job.Kept = &Kept;
    job.ChooseScale = &ChooseScale;
    job.Progress = &Progress;
    return Decode(job);
}
