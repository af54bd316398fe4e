#include "toolkit/JPEGImageDecoder.h"

#include "platform/Exceptions.h"
#include "toolkit/Graphic.h"
#include "toolkit/JpegFileSource.h"
#include "toolkit/JpegOrientation.h"

#include <csetjmp>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

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

struct TErrorMgr {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
};

struct TProgressMgr {
    jpeg_progress_mgr Pub;
    TJpegJob* Job;
};

// Everything a decode changes lives here, on the heap, outside the functions
// that call setjmp, so its values are well defined after a longjmp.
struct TJpegJob {
    jpeg_decompress_struct Info;
    TErrorMgr Err;
    TProgressMgr Monitor;
    TJpegFileSource File;
    bool Created = false;
    bool Started = false;
    const std::function<void(int)>* Progress = nullptr;
    int LastPercent = -1;
    bool Cmyk = false;
    int Scale = 8;
    int Target = 0; // the stored rows ReadRows is asked for
    int RowsDone = 0;
    TJpegDecodeResult Result;
    std::optional<TOrientedRows> Place;
    std::vector<uchar> Strip; // stored rows on their way to upright columns
    QString Error;
    std::exception_ptr Thrown;
};

namespace {

// Rows decoded at a time straight into the picture, and into the strip of a
// turned picture: each upright row then takes a run of StripRows pixels, so
// the spreading touches each page of the picture a few times only.
constexpr int DirectRows = 16;
constexpr int StripRows = 64;

void ErrorExit(j_common_ptr cinfo) {
    auto* job = static_cast<TJpegJob*>(cinfo->client_data);
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
    TJpegJob* job = reinterpret_cast<TProgressMgr*>(cinfo->progress)->Job;
    const jpeg_progress_mgr& p = job->Monitor.Pub;
    const int passes = p.total_passes > 0 ? p.total_passes : 1;
    const long inPass = p.pass_limit > 0 ? p.pass_counter * 100 / p.pass_limit : 0;
    const int percent = qBound(0, int((p.completed_passes * 100 + inPass) / passes), 100);
    // When a progressive file has more scans than libjpeg estimated, it raises
    // the pass limit on the way, which would send the percent back; the
    // report only ever moves forward.
    if (percent <= job->LastPercent || !job->Progress || !*job->Progress)
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
        std::longjmp(job->Err.Jump, 1);
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

// The steps that call libjpeg. They hold no C++ object with a destructor of
// its own, so a longjmp out of libjpeg skips nothing that needs cleaning up.

void HeaderStep(TJpegJob* job) {
    jpeg_save_markers(&job->Info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&job->Info, TRUE);
    // The first EXIF block decides; an XMP block may come before it.
    for (jpeg_saved_marker_ptr m = job->Info.marker_list; m; m = m->next)
        if (m->data_length >= 6 && std::memcmp(m->data, "Exif\0", 6) == 0) {
            job->Result.Orientation = ExifOrientation(m->data, m->data_length);
            break;
        }
    const QSize stored(int(job->Info.image_width), int(job->Info.image_height));
    job->Result.Natural = OrientedSize(stored, job->Result.Orientation);
}

void ScaleStep(TJpegJob* job) {
    jpeg_decompress_struct& info = job->Info;
    job->Cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = job->Cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    info.scale_num = static_cast<unsigned int>(qBound(1, job->Scale, 8));
    info.scale_denom = 8;
    jpeg_calc_output_dimensions(&info);
    job->Result.Scale = int(info.scale_num);
}

void StartStep(TJpegJob* job) {
    jpeg_start_decompress(&job->Info);
}

void RowsStep(TJpegJob* job) {
    jpeg_decompress_struct& info = job->Info;
    const TOrientedRows& place = *job->Place;
    const int width = int(info.output_width);
    const qsizetype stripStride = qsizetype(width) * 4;
    while (job->RowsDone < job->Target && info.output_scanline < info.output_height) {
        JSAMPROW rows[StripRows];
        const int count =
            qMin(place.Transposed() ? StripRows : DirectRows, job->Target - job->RowsDone);
        int got = 0;
        if (!place.Transposed()) {
            for (int i = 0; i < count; ++i)
                rows[i] = place.RowFor(job->RowsDone + i);
            got = int(jpeg_read_scanlines(&info, rows, JDIMENSION(count)));
        } else {
            // libjpeg hands out a row group at a time; the strip is filled
            // before it is spread, so each upright row gets a run of pixels.
            for (int i = 0; i < count; ++i)
                rows[i] = job->Strip.data() + stripStride * i;
            while (got < count && info.output_scanline < info.output_height) {
                const int more =
                    int(jpeg_read_scanlines(&info, rows + got, JDIMENSION(count - got)));
                if (more == 0)
                    break;
                got += more;
            }
        }
        if (got == 0)
            break; // a source that cannot go on; the rest is filled in
        for (int i = 0; i < got; ++i) {
            if (job->Cmyk)
                CmykRowToRgb(rows[i], width, info.saw_Adobe_marker);
            if (!place.Transposed())
                place.FinishRow(rows[i]);
        }
        if (place.Transposed())
            place.Spread(job->Strip.data(), stripStride, job->RowsDone, got);
        job->RowsDone += got;
    }
    job->Result.Warnings = int(job->Err.Pub.num_warnings);
}

// Runs one step; false when libjpeg or the progress callback stopped it.
bool Guarded(TJpegJob* job, void (*step)(TJpegJob*)) {
    if (setjmp(job->Err.Jump))
        return false;
    step(job);
    return true;
}

void Fail(TJpegJob& job) {
    if (job.Created) {
        jpeg_destroy_decompress(&job.Info);
        job.Created = false;
    }
    if (job.Thrown)
        std::rethrow_exception(job.Thrown);
    throw EInvalidGraphic(QStringLiteral("JPEG 画像を読み込めません（%1）").arg(job.Error));
}

void Run(TJpegJob& job, void (*step)(TJpegJob*)) {
    if (!job.Created)
        throw EInvalidGraphic(QStringLiteral("JPEG 画像を読み込めません（%1）").arg(job.Error));
    if (!Guarded(&job, step))
        Fail(job);
}

void Create(TJpegJob& job) {
    job.Info.err = jpeg_std_error(&job.Err.Pub);
    job.Err.Pub.error_exit = ErrorExit;
    job.Err.Pub.output_message = OutputMessage;
    jpeg_create_decompress(&job.Info);
    job.Created = true;
    job.Info.client_data = &job;
    job.Monitor.Pub.progress_monitor = Monitor;
    job.Monitor.Job = &job;
    job.Info.progress = &job.Monitor.Pub;
}

} // namespace

TJpegDecoder::TJpegDecoder(const QByteArray& Data) : Job(std::make_unique<TJpegJob>()) {
    Create(*Job);
    jpeg_mem_src(&Job->Info, reinterpret_cast<const unsigned char*>(Data.constData()),
                 static_cast<unsigned long>(Data.size()));
}

TJpegDecoder::TJpegDecoder(int File, QByteArray& Kept) : Job(std::make_unique<TJpegJob>()) {
    Create(*Job);
    UseJpegFileSource(&Job->Info, Job->File, File, Kept);
}

TJpegDecoder::~TJpegDecoder() {
    // Trailing data after the last row is of no interest; destroying the
    // decompressor without finishing it skips it.
    if (Job->Created)
        jpeg_destroy_decompress(&Job->Info);
}

void TJpegDecoder::ReadHeader() {
    Run(*Job, HeaderStep);
}

QSize TJpegDecoder::Natural() const {
    return Job->Result.Natural;
}

int TJpegDecoder::Orientation() const {
    return Job->Result.Orientation;
}

void TJpegDecoder::Start(int Scale, const std::function<void(int)>* Progress) {
    TJpegJob& job = *Job;
    job.Scale = Scale;
    job.Progress = Progress;
    Run(job, ScaleStep);
    const QSize stored(int(job.Info.output_width), int(job.Info.output_height));
    const QSize upright = OrientedSize(stored, job.Result.Orientation);
    const qint64 bytes = qint64(upright.width()) * upright.height() * 4;
    if (bytes <= GraphicAllocationLimit())
        job.Result.Image = AllocateJpegImage(upright.width(), upright.height());
    if (job.Result.Image.isNull()) {
        job.Error = QStringLiteral("画像が大きすぎて読み込めません（%1 x %2）")
                        .arg(job.Info.image_width)
                        .arg(job.Info.image_height);
        Fail(job);
    }
    job.Place.emplace(stored, job.Result.Orientation, job.Result.Image.bits(),
                      job.Result.Image.bytesPerLine());
    if (job.Place->Transposed())
        job.Strip.resize(size_t(stored.width()) * 4 * StripRows);
    Run(job, StartStep);
    job.Started = true;
}

void TJpegDecoder::ReadRows(int Rows) {
    if (!Job->Started)
        return;
    Job->Target = qMin(Rows, RowCount());
    Run(*Job, RowsStep);
}

int TJpegDecoder::RowsDone() const {
    return Job->RowsDone;
}

int TJpegDecoder::RowCount() const {
    return Job->Started ? int(Job->Info.output_height) : 0;
}

QRect TJpegDecoder::ReadyRect(int Rows) const {
    return Job->Place ? Job->Place->ReadyRect(Rows) : QRect();
}

int TJpegDecoder::RowsCovering(const QRect& Wanted) const {
    return Job->Place ? Job->Place->RowsCovering(Wanted) : 0;
}

TJpegDecodeResult& TJpegDecoder::Result() {
    return Job->Result;
}

void TJpegDecoder::FillRest() {
    // Through the pixels' own address: the picture may be shared by now,
    // and writing through the image would copy it.
    const QImage& image = Job->Result.Image;
    if (image.isNull() || !Job->Place || Job->RowsDone >= RowCount())
        return;
    const QRect ready = ReadyRect(Job->RowsDone);
    // The ready part spans the picture one way, so the rest is one rectangle.
    QRect rest = image.rect();
    if (!ready.isEmpty()) {
        if (ready.width() == image.width())
            rest = ready.top() > 0 ? QRect(0, 0, image.width(), ready.top())
                                   : QRect(0, ready.bottom() + 1, image.width(),
                                           image.height() - ready.height());
        else
            rest = ready.left() > 0
                       ? QRect(0, 0, ready.left(), image.height())
                       : QRect(ready.right() + 1, 0, image.width() - ready.width(), image.height());
    }
    const QRgb grey = qRgb(128, 128, 128);
    for (int y = rest.top(); y <= rest.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(Job->Place->Line(y));
        std::fill(line + rest.left(), line + rest.right() + 1, grey);
    }
    Job->RowsDone = RowCount();
}

void TJpegDecoder::SetProgress(const std::function<void(int)>* Progress) {
    Job->Progress = Progress;
}

TOrientedRows TJpegDecoder::Placement() const {
    return Job->Place ? *Job->Place : TOrientedRows(QSize(), 1, nullptr, 0);
}

namespace {
TJpegDecodeResult DecodeWhole(TJpegDecoder& decoder, const std::function<int(QSize)>& ChooseScale,
                              const std::function<void(int)>& Progress) {
    decoder.ReadHeader();
    const int scale = ChooseScale ? ChooseScale(decoder.Natural()) : 8;
    decoder.Start(scale, &Progress);
    decoder.ReadRows(decoder.RowCount());
    decoder.FillRest();
    return std::move(decoder.Result());
}
} // namespace

TJpegDecodeResult DecodeJpeg(const QByteArray& Data, const std::function<int(QSize)>& ChooseScale,
                             const std::function<void(int)>& Progress) {
    TJpegDecoder decoder(Data);
    return DecodeWhole(decoder, ChooseScale, Progress);
}

TJpegDecodeResult DecodeJpegFile(int File, QByteArray& Kept,
                                 const std::function<int(QSize)>& ChooseScale,
                                 const std::function<void(int)>& Progress) {
    TJpegDecoder decoder(File, Kept);
    return DecodeWhole(decoder, ChooseScale, Progress);
}
