#pragma once

#include "MediaTestSupport.h"

#include <QList>
#include <QString>

// Clips whose every frame shows its own index as 16 black or white blocks, 8 pixels wide, the
// lowest bit leftmost; read back by decoding to raw gray pictures.
namespace FrameIndexClips {

constexpr int Width = 128;
constexpr int Height = 16;
constexpr int Bits = 16;

// A variable rate jitters each frame's time by up to 0.3 frames around the rate's grid.
inline bool generate(const QString& path, const QString& rate, int frames, bool variable) {
    QString filters = QStringLiteral("geq=lum='255*mod(floor(N/pow(2\\,floor(X/8)))\\,2)'"
                                     ":cb=128:cr=128");
    QStringList timing;
    if (variable) {
        filters += QStringLiteral(",settb=1/90000,setpts='(N+0.3*sin(N*PI*7/%1))/(%2*TB)'")
                       .arg(frames - 1)
                       .arg(rate);
        timing << "-fps_mode"
               << "vfr"
               << "-enc_time_base"
               << "1/90000"
               << "-video_track_timescale"
               << "90000";
    }
    QStringList arguments{
        "-v",
        "error",
        "-y",
        "-f",
        "lavfi",
        "-i",
        QStringLiteral("color=black:s=%1x%2:r=%3").arg(Width).arg(Height).arg(rate),
        "-vf",
        filters,
        "-frames:v",
        QString::number(frames)};
    arguments << timing << "-c:v"
              << "libx264"
              << "-qp"
              << "0"
              << "-preset"
              << "ultrafast"
              << "-pix_fmt"
              << "yuv420p" << path;
    return MediaTestSupport::runTool("ffmpeg", arguments);
}

// The index shown by every frame of the file, in order; empty when it cannot be decoded.
inline QList<int> readIndices(const QString& path) {
    QByteArray raw;
    if (!MediaTestSupport::runTool(
            "ffmpeg", {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "gray", "-"}, &raw))
        return {};
    const int frameBytes = Width * Height;
    QList<int> indices;
    for (int at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
        int index = 0;
        for (int bit = 0; bit < Bits; ++bit) {
            // The block's centre, clear of the encoder's softened edges.
            const auto value =
                static_cast<unsigned char>(raw[at + (Height / 2) * Width + bit * 8 + 4]);
            if (value >= 128)
                index |= 1 << bit;
        }
        indices.append(index);
    }
    return indices;
}

} // namespace FrameIndexClips
