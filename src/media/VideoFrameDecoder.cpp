#include "media/VideoFrameDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <utility>

namespace Tessaryn {

namespace {

// Times within this of a frame's start count as that frame: slider and timecode arithmetic
// rounds, and a request for a frame's own time must not land on the one before.
constexpr double Tolerance = 1e-4;
// A request this far past the last answer is reached faster by seeking than by decoding on.
constexpr double DecodeOnLimit = 1.0;

QString avText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

} // namespace

struct VideoFrameDecoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* last = nullptr; // the current answer
    AVFrame* next = nullptr; // decoded, not yet shown
    SwsContext* scaler = nullptr;
    int stream = -1;
    double timeBase = 0.0;
    int64_t startPts = 0;
    double lastTime = 0.0;
    double nextTime = 0.0;
    bool haveLast = false;
    bool haveNext = false;
    bool drained = false;
    bool ended = false;
    // Frames that no other frame refers to are not decoded before this time: they cannot be
    // the answer, and B-frames are a good share of the work of reaching a far target.
    double skipBefore = 0.0;
    double frameDuration = 0.0;

    ~State() {
        sws_freeContext(scaler);
        av_frame_free(&last);
        av_frame_free(&next);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    double timeOf(const AVFrame* frame) const {
        int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
            pts = frame->pts;
        return pts == AV_NOPTS_VALUE ? 0.0 : double(pts - startPts) * timeBase;
    }

    void promote() {
        std::swap(last, next);
        lastTime = nextTime;
        haveLast = true;
        haveNext = false;
    }
};

VideoFrameDecoder::VideoFrameDecoder() = default;
VideoFrameDecoder::~VideoFrameDecoder() = default;

bool VideoFrameDecoder::isOpen() const {
    return d && d->codec;
}

void VideoFrameDecoder::close() {
    d.reset();
    streamFacts = Facts();
}

bool VideoFrameDecoder::open(const QString& path, QString* error) {
    close();
    // Faults reach the user through the returned reasons, not the library's own printing.
    av_log_set_level(AV_LOG_FATAL);
    auto state = std::make_unique<State>();
    int code = avformat_open_input(&state->format, path.toUtf8().constData(), nullptr, nullptr);
    if (code < 0 || avformat_find_stream_info(state->format, nullptr) < 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, avText(code));
        return false;
    }
    const AVCodec* decoder = nullptr;
    state->stream = av_find_best_stream(state->format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (state->stream < 0 || !decoder) {
        *error = QStringLiteral("%1 holds no picture we can decode").arg(path);
        return false;
    }
    const AVStream* stream = state->format->streams[state->stream];
    state->codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(state->codec, stream->codecpar);
    state->codec->thread_count = 0; // as many as the machine has
    if ((code = avcodec_open2(state->codec, decoder, nullptr)) < 0) {
        avcodec_free_context(&state->codec);
        *error = QStringLiteral("cannot decode %1: %2").arg(path, avText(code));
        return false;
    }
    state->packet = av_packet_alloc();
    state->last = av_frame_alloc();
    state->next = av_frame_alloc();
    state->timeBase = av_q2d(stream->time_base);
    state->startPts = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;

    streamFacts.size = QSize(stream->codecpar->width, stream->codecpar->height);
    const AVRational rate =
        stream->avg_frame_rate.num ? stream->avg_frame_rate : stream->r_frame_rate;
    streamFacts.rate = rate.den ? av_q2d(rate) : 0.0;
    // Unknown rates assume a fast one, so skipping stays clear of the frame asked for.
    state->frameDuration = streamFacts.rate > 0.0 ? 1.0 / streamFacts.rate : 1.0 / 120.0;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        streamFacts.duration = double(stream->duration) * state->timeBase;
    else if (state->format->duration > 0)
        streamFacts.duration = double(state->format->duration) / AV_TIME_BASE;
    streamFacts.hasAudio =
        av_find_best_stream(state->format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    d = std::move(state);
    return true;
}

bool VideoFrameDecoder::seekTo(double seconds) {
    ++seeks;
    const auto target = d->startPts + int64_t(std::max(0.0, seconds) / d->timeBase);
    const int code = av_seek_frame(d->format, d->stream, target, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(d->codec);
    d->haveLast = d->haveNext = d->drained = d->ended = false;
    return code >= 0;
}

// Fills d->next with the following frame; false at the end (error untouched) or on a fault.
bool VideoFrameDecoder::decodeNext(QString* error) {
    for (;;) {
        int code = avcodec_receive_frame(d->codec, d->next);
        if (code == 0) {
            d->nextTime = d->timeOf(d->next);
            d->haveNext = true;
            return true;
        }
        if (code == AVERROR_EOF || (code == AVERROR(EAGAIN) && d->drained)) {
            d->ended = true;
            return false;
        }
        if (code != AVERROR(EAGAIN)) {
            *error = QStringLiteral("decoding failed: %1").arg(avText(code));
            return false;
        }
        code = av_read_frame(d->format, d->packet);
        if (code < 0) {
            avcodec_send_packet(d->codec, nullptr); // let the decoder give up what it holds
            d->drained = true;
            continue;
        }
        if (d->packet->stream_index == d->stream) {
            const int64_t pts = d->packet->pts;
            const bool early = pts != AV_NOPTS_VALUE && double(pts - d->startPts) * d->timeBase <
                                                            d->skipBefore - 1.5 * d->frameDuration;
            d->codec->skip_frame = early ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            avcodec_send_packet(d->codec, d->packet); // a damaged packet only loses its frame
        }
        av_packet_unref(d->packet);
    }
}

bool VideoFrameDecoder::frameAt(double seconds, QImage* image, double* frameSeconds,
                                QString* error) {
    if (!isOpen()) {
        *error = QStringLiteral("no clip is open");
        return false;
    }
    QString fault;
    d->skipBefore = seconds;
    const bool near =
        d->haveLast && seconds >= d->lastTime - Tolerance && seconds < d->lastTime + DecodeOnLimit;
    if (!near) {
        // A seek lands on a key frame at or before the time by decoding order; with reordered
        // frames that can still be after it, so step further back until it is not.
        double from = seconds;
        for (int attempt = 0; attempt < 4; ++attempt) {
            seekTo(from);
            if (!decodeNext(&fault))
                break;
            if (d->nextTime <= seconds + Tolerance || from <= 0.0)
                break;
            from = std::max(0.0, from - 1.0 - attempt);
        }
        if (!fault.isEmpty()) {
            *error = fault;
            return false;
        }
        if (!d->haveNext) {
            *error = QStringLiteral("no picture at %1 s").arg(seconds, 0, 'f', 3);
            return false;
        }
        d->promote();
    }
    for (;;) {
        if (!d->haveNext && (d->ended || !decodeNext(&fault)))
            break;
        if (d->nextTime > seconds + Tolerance)
            break;
        d->promote();
    }
    if (!fault.isEmpty()) {
        *error = fault;
        return false;
    }
    *image = convert();
    *frameSeconds = d->lastTime;
    if (image->isNull()) {
        *error = QStringLiteral("cannot convert the picture");
        return false;
    }
    return true;
}

QImage VideoFrameDecoder::convert() {
    const AVFrame* frame = d->last;
    QSize out(frame->width, frame->height);
    if (maxSize.isValid() && !maxSize.isEmpty() &&
        (out.width() > maxSize.width() || out.height() > maxSize.height()))
        out = out.scaled(maxSize, Qt::KeepAspectRatio).expandedTo(QSize(2, 2));
    d->scaler = sws_getCachedContext(d->scaler, frame->width, frame->height,
                                     AVPixelFormat(frame->format), out.width(), out.height(),
                                     AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!d->scaler)
        return QImage();
    QImage image(out, QImage::Format_RGB888);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(d->scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    return image;
}

} // namespace Tessaryn
