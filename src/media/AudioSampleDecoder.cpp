#include "media/AudioSampleDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <vector>

namespace Tessaryn {

struct AudioSampleDecoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwrContext* resampler = nullptr;
    int stream = -1;
    double timeBase = 0.0;
    int64_t startPts = 0;
    double skipUntil = 0.0; // seconds of sound before the seek target, dropped
    double tempo = 1.0;
    bool drained = false;
    bool ended = false;
    QByteArray pending;

    ~State() {
        swr_free(&resampler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

AudioSampleDecoder::AudioSampleDecoder() = default;
AudioSampleDecoder::~AudioSampleDecoder() = default;

bool AudioSampleDecoder::isOpen() const {
    return d && d->codec;
}

void AudioSampleDecoder::close() {
    d.reset();
}

bool AudioSampleDecoder::open(const QString& path, QString* error) {
    d.reset();
    // Faults reach the user through the returned reasons, not the library's own printing.
    av_log_set_level(AV_LOG_FATAL);
    auto state = std::make_unique<State>();
    if (avformat_open_input(&state->format, path.toUtf8().constData(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(state->format, nullptr) < 0) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    const AVCodec* decoder = nullptr;
    state->stream = av_find_best_stream(state->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (state->stream < 0 || !decoder) {
        *error = QStringLiteral("%1 has no sound").arg(path);
        return false;
    }
    const AVStream* stream = state->format->streams[state->stream];
    state->codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(state->codec, stream->codecpar);
    if (avcodec_open2(state->codec, decoder, nullptr) < 0) {
        avcodec_free_context(&state->codec);
        *error = QStringLiteral("cannot decode the sound of %1").arg(path);
        return false;
    }
    state->packet = av_packet_alloc();
    state->frame = av_frame_alloc();
    state->timeBase = av_q2d(stream->time_base);
    state->startPts = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    d = std::move(state);
    return setUpResampler(1.0);
}

bool AudioSampleDecoder::setUpResampler(double tempo) {
    swr_free(&d->resampler);
    AVChannelLayout stereo{};
    av_channel_layout_default(&stereo, Channels);
    AVChannelLayout source{};
    if (av_channel_layout_copy(&source, &d->codec->ch_layout) < 0 || source.nb_channels == 0)
        av_channel_layout_default(&source, std::max(1, d->codec->ch_layout.nb_channels));
    // Fewer output samples for the same sound: played at SampleRate, it runs tempo times as fast.
    const int outRate = std::max(1000, int(SampleRate / tempo));
    const int code =
        swr_alloc_set_opts2(&d->resampler, &stereo, AV_SAMPLE_FMT_S16, outRate, &source,
                            d->codec->sample_fmt, d->codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&source);
    d->tempo = tempo;
    return code >= 0 && swr_init(d->resampler) >= 0;
}

bool AudioSampleDecoder::seek(double seconds, double tempo) {
    if (!isOpen())
        return false;
    seconds = std::max(0.0, seconds);
    const auto target = d->startPts + int64_t(seconds / d->timeBase);
    const bool sought = av_seek_frame(d->format, d->stream, target, AVSEEK_FLAG_BACKWARD) >= 0;
    avcodec_flush_buffers(d->codec);
    d->pending.clear();
    d->drained = d->ended = false;
    d->skipUntil = seconds;
    return setUpResampler(tempo) && sought;
}

// Decodes one more frame of sound into d->pending; false at the end.
bool AudioSampleDecoder::decodeMore() {
    for (;;) {
        int code = avcodec_receive_frame(d->codec, d->frame);
        if (code == 0)
            break;
        if (code != AVERROR(EAGAIN) || d->drained) {
            d->ended = true;
            return false;
        }
        code = av_read_frame(d->format, d->packet);
        if (code < 0) {
            avcodec_send_packet(d->codec, nullptr);
            d->drained = true;
            continue;
        }
        if (d->packet->stream_index == d->stream)
            avcodec_send_packet(d->codec, d->packet);
        av_packet_unref(d->packet);
    }
    const AVFrame* frame = d->frame;
    int64_t pts = frame->best_effort_timestamp;
    const double start = pts == AV_NOPTS_VALUE ? d->skipUntil : (pts - d->startPts) * d->timeBase;
    // Whole sample frames before the seek target are dropped at the input rate.
    int skip = 0;
    if (start < d->skipUntil)
        skip = std::min(frame->nb_samples, int((d->skipUntil - start) * frame->sample_rate));
    if (skip >= frame->nb_samples)
        return true;
    const int inSamples = frame->nb_samples - skip;
    const int outCapacity = swr_get_out_samples(d->resampler, inSamples) + 32;
    QByteArray out(outCapacity * BytesPerFrame, Qt::Uninitialized);
    auto* outPlane = reinterpret_cast<uint8_t*>(out.data());
    const int bytesPerSample = av_get_bytes_per_sample(AVSampleFormat(frame->format));
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
    const int channels = frame->ch_layout.nb_channels;
    std::vector<const uint8_t*> inPlanes(planar ? channels : 1);
    for (size_t plane = 0; plane < inPlanes.size(); ++plane)
        inPlanes[plane] =
            frame->extended_data[plane] + skip * bytesPerSample * (planar ? 1 : channels);
    const int produced =
        swr_convert(d->resampler, &outPlane, outCapacity, inPlanes.data(), inSamples);
    if (produced > 0)
        d->pending.append(out.constData(), produced * BytesPerFrame);
    return true;
}

QByteArray AudioSampleDecoder::read(int maxBytes) {
    if (!isOpen())
        return {};
    maxBytes -= maxBytes % BytesPerFrame;
    while (d->pending.size() < maxBytes && !d->ended && decodeMore()) {
    }
    const QByteArray chunk = d->pending.left(maxBytes);
    d->pending.remove(0, chunk.size());
    return chunk;
}

} // namespace Tessaryn
