/*
 * Velmo's video clip plug-in, over FFmpeg's libraries: a clip is shown as one
 * still, the frame about one second in (the first frame of a shorter clip),
 * turned upright by the stream's rotation and widened to its display aspect,
 * so that it is seen and sorted like a picture. Nothing is played.
 *
 * FFmpeg reads through our own procedures (a file from an offset, or
 * memory); the host's progress callback is asked between packets, and its
 * answer also breaks off any wait inside the demuxer, so a decode stops
 * soon when its picture is abandoned. The codec's threads end with it.
 */
#include "spi_common.h"

#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
#include <math.h>
#include <pthread.h>
#include <string.h>

/* The still is taken this far into a clip. */
#define VIDEO_STILL_SECONDS 1.0
/* Bytes read to find the streams; packets read at most for the still. */
#define VIDEO_PROBE_BYTES (8 << 20)
#define VIDEO_MAX_PACKETS 4000

/* ---- Recognising the data ------------------------------------------------------- */

/* ISO media brands of still pictures and camera raw files, not clips. */
static int VideoStillBrand(const uint8_t* brand) {
    static const char* const stills[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1",
                                         "msf1", "avif", "avis", "crx ", "jp2 ", "jpx ", NULL};
    for (int i = 0; stills[i]; ++i)
        if (memcmp(brand, stills[i], 4) == 0)
            return 1;
    return 0;
}

/* MPEG transport stream packets of 188 bytes, or 192 with a time stamp. */
static int VideoTransportStream(const uint8_t* head) {
    for (int start = 0; start <= 4; start += 4) {
        const int size = start ? 192 : 188;
        int i = 0;
        while (i < 5 && head[start + i * size] == 0x47)
            ++i;
        if (i == 5)
            return 1;
    }
    return 0;
}

static int VideoIsSupported(const uint8_t* head) {
    if (memcmp(head + 4, "ftyp", 4) == 0)
        return !VideoStillBrand(head + 8);
    static const char* const atoms[] = {"moov", "mdat", "wide", "free", "skip", "pnot", NULL};
    for (int i = 0; atoms[i]; ++i)
        if (memcmp(head + 4, atoms[i], 4) == 0)
            return 1;
    return memcmp(head, "\x1A\x45\xDF\xA3", 4) == 0 ||                           /* mkv, webm */
           (memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "AVI ", 4) == 0) || /* avi */
           VideoTransportStream(head);
}

static const char* VideoDescribe(char* scratch, size_t n) {
    const unsigned f = avformat_version(), c = avcodec_version();
    snprintf(scratch, n,
             "Velmo video clip decoder 1.0 (FFmpeg libavformat %u.%u.%u, libavcodec %u.%u.%u)",
             f >> 16, (f >> 8) & 0xFF, f & 0xFF, c >> 16, (c >> 8) & 0xFF, c & 0xFF);
    return scratch;
}

/* ---- FFmpeg's view of the stream ---------------------------------------------------- */

typedef struct VideoJob {
    SpiStream* stream;
    SpiProgress* progress;
    AVIOContext* io;
    AVFormatContext* format;
    AVCodecContext* codec;
    AVFrame* frame;
    AVPacket* packet;
    int aborted;
} VideoJob;

static int VideoRead(void* opaque, uint8_t* buf, int size) {
    VideoJob* job = (VideoJob*)opaque;
    const size_t got = SpiStreamRead(job->stream, buf, size > 0 ? (size_t)size : 0);
    if (got > 0)
        return (int)got;
    return job->stream->readError ? AVERROR(EIO) : AVERROR_EOF;
}

static int64_t VideoSeek(void* opaque, int64_t offset, int whence) {
    SpiStream* s = ((VideoJob*)opaque)->stream;
    if (whence & AVSEEK_SIZE)
        return (int64_t)s->size;
    int64_t target;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = (int64_t)s->pos + offset;
        break;
    case SEEK_END:
        target = (int64_t)s->size + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0 || SpiStreamSeek(s, (uint64_t)target) != 0)
        return AVERROR(EINVAL);
    return target;
}

/* Asks the host whether to go on; done of 100. */
static int VideoStop(VideoJob* job, int done) {
    if (!job->aborted && job->progress && job->progress->callback &&
        job->progress->callback(done, 100, job->progress->data) != 0)
        job->aborted = 1;
    return job->aborted;
}

static int VideoInterrupt(void* opaque) {
    return ((VideoJob*)opaque)->aborted;
}

static void VideoQuietOnce(void) {
    av_log_set_level(AV_LOG_QUIET); /* broken clips are told by the result */
}

static void VideoClose(VideoJob* job) {
    av_packet_free(&job->packet);
    av_frame_free(&job->frame);
    avcodec_free_context(&job->codec); /* joins the codec's threads */
    avformat_close_input(&job->format);
    if (job->io) {
        av_freep(&job->io->buffer);
        avio_context_free(&job->io);
    }
}

/* Opens the container and finds its video stream; returns its index. */
static int VideoOpen(SpiStream* s, VideoJob* job, SpiProgress* progress, int* index) {
    static pthread_once_t quiet = PTHREAD_ONCE_INIT;
    pthread_once(&quiet, VideoQuietOnce);
    memset(job, 0, sizeof *job);
    job->stream = s;
    job->progress = progress;
    uint8_t* buffer = av_malloc(64 * 1024);
    job->io =
        buffer ? avio_alloc_context(buffer, 64 * 1024, 0, job, VideoRead, NULL, VideoSeek) : NULL;
    job->format = avformat_alloc_context();
    if (!job->io || !job->format) {
        if (!job->io)
            av_free(buffer);
        VideoClose(job);
        return SPI_NO_MEMORY;
    }
    job->format->pb = job->io;
    job->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    job->format->probesize = VIDEO_PROBE_BYTES;
    job->format->interrupt_callback.callback = VideoInterrupt;
    job->format->interrupt_callback.opaque = job;
    if (avformat_open_input(&job->format, NULL, NULL, NULL) < 0) {
        /* A failed open frees the format context, never the I/O one. */
        VideoClose(job);
        return job->aborted ? SPI_ABORT : SpiStreamFailure(s);
    }
    int rc = SPI_SUCCESS;
    if (avformat_find_stream_info(job->format, NULL) < 0)
        rc = job->aborted ? SPI_ABORT : SpiStreamFailure(s);
    *index = rc == SPI_SUCCESS
                 ? av_find_best_stream(job->format, AVMEDIA_TYPE_VIDEO, -1, -1, NULL, 0)
                 : -1;
    if (rc == SPI_SUCCESS && *index < 0)
        rc = SPI_OUT_OF_ORDER; /* no video in it: sound alone, say */
    if (rc == SPI_SUCCESS) {
        const AVCodecParameters* par = job->format->streams[*index]->codecpar;
        rc = SpiCheckSize(par->width, par->height);
    }
    if (rc != SPI_SUCCESS)
        VideoClose(job);
    return rc;
}

/* The quarter turns the stream asks for, clockwise (0 to 3). */
static int VideoQuarterTurns(const AVStream* st) {
    const int32_t* matrix =
        (const int32_t*)av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, NULL);
    if (!matrix)
        return 0;
    const double anticlockwise = av_display_rotation_get(matrix);
    if (isnan(anticlockwise))
        return 0;
    const long quarters = lround(-anticlockwise / 90.0);
    return (int)(((quarters % 4) + 4) % 4);
}

/* The picture's width on screen: its height times the display aspect. */
static int64_t VideoDisplayWidth(const AVStream* st, const AVFrame* frame) {
    AVRational sar = frame->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = st->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0 || sar.num == sar.den)
        return frame->width;
    const int64_t w = av_rescale(frame->width, sar.num, sar.den);
    return w > 0 ? w : frame->width;
}

static int VideoGetInfo(SpiStream* s, SpiPictureInfo* out) {
    VideoJob job;
    int index;
    const int rc = VideoOpen(s, &job, NULL, &index);
    if (rc != SPI_SUCCESS)
        return rc;
    const AVStream* st = job.format->streams[index];
    const int swap = VideoQuarterTurns(st) & 1;
    out->width = swap ? st->codecpar->height : st->codecpar->width;
    out->height = swap ? st->codecpar->width : st->codecpar->height;
    out->colorDepth = 24;
    VideoClose(&job);
    return SPI_SUCCESS;
}

/* ---- The still ------------------------------------------------------------------------ */

static int VideoOpenCodec(VideoJob* job, const AVStream* st) {
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder)
        return SPI_NOT_SUPPORT;
    job->codec = avcodec_alloc_context3(decoder);
    job->frame = av_frame_alloc();
    job->packet = av_packet_alloc();
    if (!job->codec || !job->frame || !job->packet)
        return SPI_NO_MEMORY;
    if (avcodec_parameters_to_context(job->codec, st->codecpar) < 0)
        return SPI_OUT_OF_ORDER;
    job->codec->max_pixels = SPI_MAX_PIXELS;
    job->codec->thread_count = 0; /* as many as there are processors */
    return avcodec_open2(job->codec, decoder, NULL) < 0 ? SPI_OUT_OF_ORDER : SPI_SUCCESS;
}

/* Decodes until a frame at or after target (in the stream's time base)
 * is out, or the clip ends; job->frame then holds the last frame. */
static int VideoDecodeUntil(VideoJob* job, int index, int64_t target) {
    int have = 0, ended = 0;
    for (int packets = 0; packets < VIDEO_MAX_PACKETS; ++packets) {
        if (VideoStop(job, 10 + packets * 80 / VIDEO_MAX_PACKETS))
            return SPI_ABORT;
        if (!ended) {
            const int got = av_read_frame(job->format, job->packet);
            if (got < 0) {
                ended = 1;
                avcodec_send_packet(job->codec, NULL); /* drain */
            } else {
                if (job->packet->stream_index == index)
                    avcodec_send_packet(job->codec, job->packet);
                av_packet_unref(job->packet);
            }
        }
        for (;;) {
            AVFrame* next = have ? av_frame_alloc() : job->frame;
            if (!next)
                return SPI_NO_MEMORY;
            const int r = avcodec_receive_frame(job->codec, next);
            if (r < 0) {
                if (next != job->frame)
                    av_frame_free(&next);
                if (r == AVERROR_EOF || (ended && r != AVERROR(EAGAIN)))
                    return have ? SPI_SUCCESS : SPI_OUT_OF_ORDER;
                break;
            }
            if (next != job->frame) {
                av_frame_unref(job->frame);
                av_frame_move_ref(job->frame, next);
                av_frame_free(&next);
            }
            have = 1;
            if (job->frame->best_effort_timestamp == AV_NOPTS_VALUE ||
                job->frame->best_effort_timestamp >= target)
                return SPI_SUCCESS;
        }
    }
    return have ? SPI_SUCCESS : SPI_OUT_OF_ORDER;
}

/* Converts the frame to BGR at its display width and turns it into dib. */
static int VideoPutFrame(VideoJob* job, const AVStream* st, SpiDib* dib) {
    const AVFrame* f = job->frame;
    const int64_t w = VideoDisplayWidth(st, f), h = f->height;
    int rc = SpiCheckSize(w, h);
    if (rc != SPI_SUCCESS || SpiCheckSize(f->width, f->height) != SPI_SUCCESS)
        return rc != SPI_SUCCESS ? rc : SPI_OUT_OF_ORDER;
    static const int turns[4] = {SPI_TURN_NONE, SPI_TURN_CW, SPI_TURN_HALF, SPI_TURN_CCW};
    const int turn = turns[VideoQuarterTurns(st)];
    struct SwsContext* sws =
        sws_getContext(f->width, f->height, (enum AVPixelFormat)f->format, (int)w, (int)h,
                       AV_PIX_FMT_BGR24, SWS_BICUBIC, NULL, NULL, NULL);
    const size_t stride = ((size_t)w * 3 + 63) & ~(size_t)63;
    uint8_t* bgr = sws ? malloc(stride * (size_t)h) : NULL;
    if (!sws || !bgr)
        rc = sws ? SPI_NO_MEMORY : SPI_NOT_SUPPORT;
    if (rc == SPI_SUCCESS) {
        uint8_t* planes[4] = {bgr, NULL, NULL, NULL};
        const int strides[4] = {(int)stride, 0, 0, 0};
        if (sws_scale(sws, (const uint8_t* const*)f->data, f->linesize, 0, f->height, planes,
                      strides) != (int)h)
            rc = SPI_OUT_OF_ORDER;
    }
    if (rc == SPI_SUCCESS)
        rc = SpiDibCreateTurned(dib, w, h, turn);
    for (int32_t y = 0; rc == SPI_SUCCESS && y < (int32_t)h; ++y)
        SpiDibPutTurnedRow(dib, turn, (int32_t)w, (int32_t)h, y, bgr + (size_t)y * stride);
    free(bgr);
    sws_freeContext(sws);
    return rc;
}

static int VideoDecode(SpiStream* s, SpiDib* dib, SpiProgress* progress) {
    VideoJob job;
    int index;
    int rc = VideoOpen(s, &job, progress, &index);
    if (rc != SPI_SUCCESS)
        return rc;
    const AVStream* st = job.format->streams[index];
    rc = VideoOpenCodec(&job, st);
    /* Only the video stream's packets are wanted. */
    for (unsigned i = 0; i < job.format->nb_streams; ++i)
        if ((int)i != index)
            job.format->streams[i]->discard = AVDISCARD_ALL;
    const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    int64_t target = start;
    const int64_t duration = st->duration != AV_NOPTS_VALUE
                                 ? av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q)
                                 : job.format->duration;
    if (rc == SPI_SUCCESS && duration != AV_NOPTS_VALUE &&
        duration >= (int64_t)(VIDEO_STILL_SECONDS * AV_TIME_BASE)) {
        target = start + av_rescale_q((int64_t)(VIDEO_STILL_SECONDS * AV_TIME_BASE), AV_TIME_BASE_Q,
                                      st->time_base);
        /* To the key frame before it; where that fails, decode from the start. */
        if (av_seek_frame(job.format, index, target, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(job.format, index, start, AVSEEK_FLAG_BACKWARD);
    }
    if (rc == SPI_SUCCESS && VideoStop(&job, 0))
        rc = SPI_ABORT;
    if (rc == SPI_SUCCESS)
        rc = VideoDecodeUntil(&job, index, target);
    if (rc == SPI_SUCCESS)
        rc = VideoPutFrame(&job, st, dib);
    if (rc == SPI_SUCCESS && VideoStop(&job, 100))
        rc = SPI_ABORT;
    if (job.aborted)
        rc = SPI_ABORT;
    VideoClose(&job);
    return rc;
}

/* Every extension on the first line (the file list's), then each on its own
 * (the ones claimed). */
static const char* const kFormats[] = {"*.mov;*.mp4;*.m4v;*.3gp;*.mkv;*.webm;*.avi;*.mts",
                                       "動画",

                                       "*.mov",
                                       "QuickTime 動画",
                                       "*.mp4",
                                       "MP4 動画",
                                       "*.m4v",
                                       "MP4 動画",
                                       "*.3gp",
                                       "3GP 動画",
                                       "*.mkv",
                                       "Matroska 動画",
                                       "*.webm",
                                       "WebM 動画",
                                       "*.avi",
                                       "AVI 動画",
                                       "*.mts",
                                       "AVCHD 動画",
                                       NULL};

static const SpiFormat kVideoFormat = {VideoDescribe, kFormats, VideoIsSupported, VideoGetInfo,
                                       VideoDecode};

SPI_DEFINE_EXPORTS(kVideoFormat);
