#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

namespace Tessaryn {

// Decodes the pictures of one clip with FFmpeg's libraries, kept open between requests so that
// scrubbing and playback never start a process per frame. Not thread-safe: one owner thread.
class VideoFrameDecoder {
public:
    struct Facts {
        double duration = 0.0; // seconds; 0 when the container does not say
        double rate = 0.0;     // nominal frames per second; 0 when unknown
        QSize size;
        bool hasAudio = false;
    };

    VideoFrameDecoder();
    ~VideoFrameDecoder();
    VideoFrameDecoder(const VideoFrameDecoder&) = delete;
    VideoFrameDecoder& operator=(const VideoFrameDecoder&) = delete;

    bool open(const QString& path, QString* error);
    void close();
    bool isOpen() const;
    const Facts& facts() const { return streamFacts; }
    // Pictures are scaled down to fit within this size, keeping their shape; an empty size
    // keeps the clip's own.
    void setMaxSize(const QSize& size) { maxSize = size; }

    // The frame on screen at `seconds`: the last one that starts at or before it (the first
    // frame for earlier times, the last for later ones). Decodes on from the previous answer
    // when the time lies shortly after it, and seeks otherwise.
    bool frameAt(double seconds, QImage* image, double* frameSeconds, QString* error);
    // How many seeks frameAt has made; playback should need one, not one per frame.
    int seekCount() const { return seeks; }

private:
    struct State;
    bool seekTo(double seconds);
    bool decodeNext(QString* error);
    QImage convert();

    std::unique_ptr<State> d;
    Facts streamFacts;
    QSize maxSize;
    int seeks = 0;
};

} // namespace Tessaryn
