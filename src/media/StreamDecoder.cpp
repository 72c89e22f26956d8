#include "media/StreamDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>

namespace Tessaryn {

namespace {

QString avText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

} // namespace

StreamDecoder::~StreamDecoder() {
    close();
}

void StreamDecoder::close() {
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    index = -1;
    skipBefore = -1.0;
    drained = false;
}

bool StreamDecoder::open(const QString& path, Kind kind, QString* error) {
    close();
    // Faults reach the user through the returned reasons, not the library's own printing.
    av_log_set_level(AV_LOG_FATAL);
    int code = avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr);
    if (code < 0 || (code = avformat_find_stream_info(format, nullptr)) < 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, avText(code));
        close();
        return false;
    }
    const AVCodec* found = nullptr;
    const bool picture = kind == Kind::Picture;
    index = av_find_best_stream(format, picture ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO, -1, -1,
                                &found, 0);
    if (index < 0 || !found) {
        *error = picture ? QStringLiteral("%1 holds no picture we can decode").arg(path)
                         : QStringLiteral("%1 has no sound").arg(path);
        close();
        return false;
    }
    const AVStream* chosen = format->streams[index];
    codec = avcodec_alloc_context3(found);
    avcodec_parameters_to_context(codec, chosen->codecpar);
    if (picture)
        codec->thread_count = 0; // as many as the machine has
    if ((code = avcodec_open2(codec, found, nullptr)) < 0) {
        *error = QStringLiteral("cannot decode %1: %2").arg(path, avText(code));
        close();
        return false;
    }
    packet = av_packet_alloc();
    timeBase = av_q2d(chosen->time_base);
    startPts = chosen->start_time == AV_NOPTS_VALUE ? 0 : chosen->start_time;
    return true;
}

bool StreamDecoder::holds(Kind kind) const {
    const auto type = kind == Kind::Picture ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
    return format && av_find_best_stream(format, type, -1, -1, nullptr, 0) >= 0;
}

const AVStream* StreamDecoder::stream() const {
    return format && index >= 0 ? format->streams[index] : nullptr;
}

bool StreamDecoder::seek(double seconds) {
    const auto target = startPts + int64_t(std::max(0.0, seconds) / timeBase);
    const int code = av_seek_frame(format, index, target, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec);
    drained = false;
    return code >= 0;
}

void StreamDecoder::skipUnreferencedBefore(double seconds, double frameDuration) {
    skipBefore = seconds - 1.5 * frameDuration;
}

StreamDecoder::Result StreamDecoder::receive(AVFrame* frame, QString* error) {
    for (;;) {
        int code = avcodec_receive_frame(codec, frame);
        if (code == 0)
            return Result::Frame;
        if (code == AVERROR_EOF || (code == AVERROR(EAGAIN) && drained))
            return Result::End;
        if (code != AVERROR(EAGAIN)) {
            *error = QStringLiteral("decoding failed: %1").arg(avText(code));
            return Result::Fault;
        }
        if (av_read_frame(format, packet) < 0) {
            avcodec_send_packet(codec, nullptr); // let the decoder give up what it holds
            drained = true;
            continue;
        }
        if (packet->stream_index == index) {
            const bool early = packet->pts != AV_NOPTS_VALUE &&
                               double(packet->pts - startPts) * timeBase < skipBefore;
            codec->skip_frame = early ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            avcodec_send_packet(codec, packet); // a damaged packet only loses its frame
        }
        av_packet_unref(packet);
    }
}

double StreamDecoder::timeOf(const AVFrame* frame) const {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = frame->pts;
    return pts == AV_NOPTS_VALUE ? 0.0 : double(pts - startPts) * timeBase;
}

} // namespace Tessaryn
