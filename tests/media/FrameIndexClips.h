#pragma once

#include "MediaTestSupport.h"

#include <QImage>
#include <QList>
#include <QString>

// Clips whose every frame shows its own index as 16 black or white blocks, 8 pixels wide, the
// lowest bit leftmost; read back by decoding to raw gray pictures.
namespace FrameIndexClips {

constexpr int Width = 128;
constexpr int Height = 16;
constexpr int Bits = 16;

// Slots of the variable-rate clip that hold no frame: a stretch recorded at half the rate, as
// phones do in low light. Every other frame keeps its time on the rate's grid.
inline QList<int> missingSlots() {
    return {31, 33, 35, 37, 39, 41, 43, 45, 47, 49};
}

// Each frame shows its slot on the grid of the given rate: the frame number of a constant rate.
inline bool generate(const QString& path, const QString& rate, int slotCount, bool variable) {
    QString filters = QStringLiteral("geq=lum='255*mod(floor(N/pow(2\\,floor(X/8)))\\,2)'"
                                     ":cb=128:cr=128");
    int frames = slotCount;
    if (variable) {
        filters += QStringLiteral(",select='not(between(n\\,31\\,49)*mod(n\\,2))'");
        frames -= int(missingSlots().size());
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
        QString::number(frames),
        "-fps_mode",
        "vfr"};
    arguments << "-c:v"
              << "libx264"
              << "-qp"
              << "0"
              << "-preset"
              << "ultrafast"
              << "-pix_fmt"
              << "yuv420p" << path;
    return MediaTestSupport::runTool("ffmpeg", arguments);
}

// The index shown by every frame of the file, in order, none repeated or left out for timing;
// empty when the file cannot be decoded.
inline QList<int> readIndices(const QString& path) {
    QByteArray raw;
    if (!MediaTestSupport::runTool("ffmpeg",
                                   {"-v", "error", "-i", path, "-fps_mode", "passthrough", "-f",
                                    "rawvideo", "-pix_fmt", "gray", "-"},
                                   &raw))
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

// The index a decoded picture of such a clip shows, at its own size; -1 for no picture.
inline int indexIn(const QImage& image) {
    if (image.isNull())
        return -1;
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    int index = 0;
    for (int bit = 0; bit < Bits; ++bit) {
        if (qGray(gray.pixel(bit * 8 + 4, Height / 2)) >= 128)
            index |= 1 << bit;
    }
    return index;
}

} // namespace FrameIndexClips
