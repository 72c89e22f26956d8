#include "ui/AudioPlayback.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>

namespace Tessaryn {

namespace {

// About a fifth of a second per top-up keeps the output fed between 20 ms ticks.
constexpr int ChunkBytes = AudioSampleDecoder::SampleRate / 5 * AudioSampleDecoder::BytesPerFrame;

} // namespace

AudioPlayback::AudioPlayback(QObject* parent) : QObject(parent) {}

AudioPlayback::~AudioPlayback() {
    stop();
}

void AudioPlayback::adopt(std::shared_ptr<AudioSampleDecoder> opened) {
    close();
    decoder = std::move(opened);
}

void AudioPlayback::close() {
    stop();
    decoder.reset();
    played = 0;
}

void AudioPlayback::start(double seconds, double tempo) {
    stop();
    if (!hasSound() || !decoder->seek(seconds, tempo))
        return;
    running = true;
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    QAudioFormat format;
    format.setSampleRate(AudioSampleDecoder::SampleRate);
    format.setChannelCount(AudioSampleDecoder::Channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!output.isNull() && output.isFormatSupported(format)) {
        sink = new QAudioSink(output, format, this);
        device = sink->start();
        if (device && sink->error() == QAudio::NoError) {
            pump();
            return;
        }
        delete sink;
        sink = nullptr;
        device = nullptr;
    }
    nullClock.start();
    nullConsumed = 0;
}

void AudioPlayback::stop() {
    running = false;
    if (sink) {
        sink->stop();
        delete sink;
        sink = nullptr;
        device = nullptr;
    }
}

void AudioPlayback::pump() {
    if (!running)
        return;
    if (sink) {
        write(std::min(int(sink->bytesFree()), ChunkBytes));
        return;
    }
    const qint64 due = nullClock.elapsed() * AudioSampleDecoder::SampleRate / 1000;
    const qint64 frames = std::min<qint64>(due - nullConsumed, AudioSampleDecoder::SampleRate);
    nullConsumed = due;
    write(int(frames) * AudioSampleDecoder::BytesPerFrame);
}

void AudioPlayback::write(int bytes) {
    bytes -= bytes % AudioSampleDecoder::BytesPerFrame;
    if (bytes <= 0)
        return;
    QByteArray chunk = decoder->read(bytes);
    if (chunk.isEmpty())
        return; // the sound has ended; the picture may go on
    if (silent)
        chunk.fill('\0');
    played += chunk.size() / AudioSampleDecoder::BytesPerFrame;
    if (device)
        device->write(chunk);
}

} // namespace Tessaryn
