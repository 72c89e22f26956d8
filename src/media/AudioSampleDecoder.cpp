#include "media/AudioSampleDecoder.h"

#include "media/StreamDecoder.h"

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
    StreamDecoder stream;
    AVFrame* frame = av_frame_alloc();
    SwrContext* resampler = nullptr;
    double skipUntil = 0.0; // seconds of sound before the seek target, dropped
    double tempo = 1.0;
    bool ended = false;
    QByteArray pending;

    ~State() {
        swr_free(&resampler);
        av_frame_free(&frame);
    }
};

AudioSampleDecoder::AudioSampleDecoder() = default;
AudioSampleDecoder::~AudioSampleDecoder() = default;

bool AudioSampleDecoder::isOpen() const {
    return d && d->stream.isOpen();
}

void AudioSampleDecoder::close() {
    d.reset();
}

bool AudioSampleDecoder::open(const QString& path, QString* error) {
    d.reset();
    auto state = std::make_unique<State>();
    if (!state->stream.open(path, StreamDecoder::Kind::Sound, error))
        return false;
    d = std::move(state);
    return setUpResampler(1.0);
}

bool AudioSampleDecoder::setUpResampler(double tempo) {
    swr_free(&d->resampler);
    AVChannelLayout stereo{};
    av_channel_layout_default(&stereo, Channels);
    AVChannelLayout source{};
    if (av_channel_layout_copy(&source, &d->stream.decoder()->ch_layout) < 0 ||
        source.nb_channels == 0)
        av_channel_layout_default(&source, std::max(1, d->stream.decoder()->ch_layout.nb_channels));
    // Fewer output samples for the same sound: played at SampleRate, it runs tempo times as fast.
    const int outRate = std::max(1000, int(SampleRate / tempo));
    const int code = swr_alloc_set_opts2(&d->resampler, &stereo, AV_SAMPLE_FMT_S16, outRate,
                                         &source, d->stream.decoder()->sample_fmt,
                                         d->stream.decoder()->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&source);
    d->tempo = tempo;
    return code >= 0 && swr_init(d->resampler) >= 0;
}

bool AudioSampleDecoder::seek(double seconds, double tempo) {
    if (!isOpen())
        return false;
    seconds = std::max(0.0, seconds);
    const bool sought = d->stream.seek(seconds);
    d->pending.clear();
    d->ended = false;
    d->skipUntil = seconds;
    return setUpResampler(tempo) && sought;
}

// Decodes one more frame of sound into d->pending; false at the end.
bool AudioSampleDecoder::decodeMore() {
    QString fault;
    if (d->stream.receive(d->frame, &fault) != StreamDecoder::Result::Frame) {
        d->ended = true; // a fault ends the sound; the picture goes on
        return false;
    }
    const AVFrame* frame = d->frame;
    const bool timed = frame->best_effort_timestamp != AV_NOPTS_VALUE;
    const double start = timed ? d->stream.timeOf(frame) : d->skipUntil;
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
