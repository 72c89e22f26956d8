#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace Tessaryn {

// Decodes the sound of one clip with FFmpeg's libraries into interleaved signed 16-bit stereo
// at SampleRate, ready for an audio output. A tempo above 1 plays faster by resampling (the
// pitch rises with it), which is what a preview at 2x or 4x needs. One owner thread.
class AudioSampleDecoder {
public:
    static constexpr int SampleRate = 48000;
    static constexpr int Channels = 2;
    static constexpr int BytesPerFrame = Channels * 2;

    AudioSampleDecoder();
    ~AudioSampleDecoder();
    AudioSampleDecoder(const AudioSampleDecoder&) = delete;
    AudioSampleDecoder& operator=(const AudioSampleDecoder&) = delete;

    // False, with the reason, when the clip has no sound we can decode.
    bool open(const QString& path, QString* error);
    bool isOpen() const;
    void close();
    // Sound from `seconds` of the clip on, played `tempo` times as fast.
    bool seek(double seconds, double tempo);
    // At most maxBytes (whole sample frames); empty at the end of the sound.
    QByteArray read(int maxBytes);

private:
    struct State;
    bool decodeMore();
    bool setUpResampler(double tempo);

    std::unique_ptr<State> d;
};

} // namespace Tessaryn
