#pragma once

#include <QString>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace Tessaryn {

// One stream of a media file with FFmpeg's decoder open on it: what the preview's picture and
// sound decoders share (opening, seeking, the packet-to-frame loop, frame times).
class StreamDecoder {
public:
    enum class Kind { Picture, Sound };
    enum class Result { Frame, End, Fault };

    StreamDecoder() = default;
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    bool open(const QString& path, Kind kind, QString* error);
    void close();
    bool isOpen() const { return codec != nullptr; }
    // Lands at or before the time (by decoding order) and empties the decoder.
    bool seek(double seconds);
    // The following frame of the stream into `frame`; `error` is set on a fault.
    Result receive(AVFrame* frame, QString* error);
    // Seconds from the stream's start.
    double timeOf(const AVFrame* frame) const;

    const AVFormatContext* container() const { return format; }
    // Whether the file holds a stream of that kind besides the one opened.
    bool holds(Kind kind) const;
    const AVStream* stream() const;
    const AVCodecContext* decoder() const { return codec; }
    // Frames no other frame refers to are not decoded when they start before this time
    // (less a frame and a half); they cannot be shown, and they are much of a seek's work.
    void skipUnreferencedBefore(double seconds, double frameDuration);

private:
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    int index = -1;
    double timeBase = 0.0;
    long long startPts = 0;
    double skipBefore = -1.0;
    bool drained = false;
};

} // namespace Tessaryn
