#pragma once

#include "media/AudioSampleDecoder.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>

class QAudioSink;
class QIODevice;

namespace Tessaryn {

// The preview's sound: decoded on the window's thread in small chunks (cheap next to pictures)
// and pushed to the desktop's audio output. Where the machine offers no output, a null sink
// consumes the sound at the pace of the clock, so playback behaves the same with or without
// speakers.
class AudioPlayback : public QObject {
public:
    explicit AudioPlayback(QObject* parent = nullptr);
    ~AudioPlayback() override;

    // The clip's sound, opened elsewhere; null for a clip without sound (playback stays silent).
    void adopt(std::shared_ptr<AudioSampleDecoder> opened);
    void close();
    bool hasSound() const { return decoder && decoder->isOpen(); }
    // Sound from the clip's `seconds`, `tempo` times as fast.
    void start(double seconds, double tempo);
    void stop();
    // Silence in place of the sound, keeping the output's clock running.
    void setMuted(bool muted) { silent = muted; }
    // Tops up the output; called from the player's clock.
    void pump();

    bool isRunning() const { return running; }
    bool usesNullSink() const { return !sink; }
    // Sample frames handed to the output since the clip was opened.
    qint64 samplesPlayed() const { return played; }

private:
    void write(int bytes);

    std::shared_ptr<AudioSampleDecoder> decoder;
    QAudioSink* sink = nullptr;
    QIODevice* device = nullptr;
    QElapsedTimer nullClock;
    qint64 nullConsumed = 0;
    qint64 played = 0;
    bool running = false;
    bool silent = false;
};

} // namespace Tessaryn
