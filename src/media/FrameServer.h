#pragma once

#include "media/AudioSampleDecoder.h"
#include "media/VideoFrameDecoder.h"

#include <QObject>

#include <functional>
#include <memory>

class QThread;

namespace Tessaryn {

// Serves decoded pictures of one clip from a decoder that stays open on its own thread, so the
// window never waits for a frame. At most one decode runs; a request made meanwhile waits in a
// single slot that later requests overwrite, so a fast drag shows its latest position, not a
// backlog.
class FrameServer : public QObject {
public:
    // Callbacks run on the owner's thread.
    std::function<void(bool ok, const VideoFrameDecoder::Facts& facts, const QString& error)>
        openedCallback;
    std::function<void(const QImage& image, double frameSeconds)> frameCallback;
    std::function<void(const QString& error)> failedCallback;

    explicit FrameServer(QObject* parent = nullptr);
    ~FrameServer() override;

    // Drops any waiting request; answers of the previous clip are not delivered.
    void open(const QString& path);
    void request(double seconds);
    void setMaxSize(const QSize& size);
    // The sound decoder of the clip last opened, opened on the server's thread as well so the
    // window never waits for a file; null when the clip has no sound. Meant to be taken from
    // openedCallback; the caller owns it from then on.
    std::shared_ptr<AudioSampleDecoder> takeSound() { return std::move(sound); }

    bool isBusy() const { return inFlight; }
    int decodesStarted() const { return started; }
    // The most decodes ever requested of the thread at once; one by design.
    int mostInFlight() const { return peakInFlight; }

private:
    void startDecode(double seconds);
    void onDecoded(int forGeneration, bool ok, const QImage& image, double frameSeconds,
                   const QString& error);

    QThread* thread = nullptr;
    QObject* worker = nullptr;            // lives on thread
    VideoFrameDecoder* decoder = nullptr; // used on thread only
    std::shared_ptr<AudioSampleDecoder> sound;
    int generation = 0;
    bool inFlight = false;
    int inFlightCount = 0;
    int peakInFlight = 0;
    int started = 0;
    bool hasWaiting = false;
    double waitingSeconds = 0.0;
};

} // namespace Tessaryn
