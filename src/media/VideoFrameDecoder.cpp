#include "media/VideoFrameDecoder.h"

#include "media/StreamDecoder.h"

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

} // namespace

struct VideoFrameDecoder::State {
    StreamDecoder stream;
    AVFrame* last = nullptr; // the current answer
    AVFrame* next = nullptr; // decoded, not yet shown
    SwsContext* scaler = nullptr;
    double lastTime = 0.0;
    double nextTime = 0.0;
    double frameDuration = 0.0;
    bool haveLast = false;
    bool haveNext = false;
    bool ended = false;

    State() : last(av_frame_alloc()), next(av_frame_alloc()) {}
    ~State() {
        sws_freeContext(scaler);
        av_frame_free(&last);
        av_frame_free(&next);
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
    return d && d->stream.isOpen();
}

void VideoFrameDecoder::close() {
    d.reset();
    streamFacts = Facts();
}

bool VideoFrameDecoder::open(const QString& path, QString* error) {
    close();
    auto state = std::make_unique<State>();
    if (!state->stream.open(path, StreamDecoder::Kind::Picture, error))
        return false;
    const AVStream* stream = state->stream.stream();
    streamFacts.size = QSize(stream->codecpar->width, stream->codecpar->height);
    const AVRational rate =
        stream->avg_frame_rate.num ? stream->avg_frame_rate : stream->r_frame_rate;
    streamFacts.rate = rate.den ? av_q2d(rate) : 0.0;
    // Unknown rates assume a fast one, so skipping stays clear of the frame asked for.
    state->frameDuration = streamFacts.rate > 0.0 ? 1.0 / streamFacts.rate : 1.0 / 120.0;
    const AVFormatContext* container = state->stream.container();
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        streamFacts.duration = double(stream->duration) * av_q2d(stream->time_base);
    else if (container->duration > 0)
        streamFacts.duration = double(container->duration) / AV_TIME_BASE;
    streamFacts.hasAudio = state->stream.holds(StreamDecoder::Kind::Sound);
    d = std::move(state);
    return true;
}

bool VideoFrameDecoder::seekTo(double seconds) {
    ++seeks;
    d->haveLast = d->haveNext = d->ended = false;
    return d->stream.seek(seconds);
}

// Fills d->next with the following frame; false at the end (error untouched) or on a fault.
bool VideoFrameDecoder::decodeNext(QString* error) {
    switch (d->stream.receive(d->next, error)) {
    case StreamDecoder::Result::Frame:
        d->nextTime = d->stream.timeOf(d->next);
        d->haveNext = true;
        return true;
    case StreamDecoder::Result::End:
        d->ended = true;
        return false;
    case StreamDecoder::Result::Fault:
        break;
    }
    return false;
}

bool VideoFrameDecoder::frameAt(double seconds, QImage* image, double* frameSeconds,
                                QString* error) {
    if (!isOpen()) {
        *error = QStringLiteral("no clip is open");
        return false;
    }
    QString fault;
    d->stream.skipUnreferencedBefore(seconds, d->frameDuration);
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
