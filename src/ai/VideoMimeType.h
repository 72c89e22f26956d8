#pragma once

#include <QString>

namespace Tessaryn {

// The MIME type Gemini is told for a clip, from its container (the file name's extension).
class VideoMimeType {
public:
    // Files above this are refused by the Gemini File API.
    static constexpr qint64 MaxUploadBytes = qint64(2) << 30;

    // Empty when Gemini does not take the container; refusal then says why.
    static QString forPath(const QString& path);
    static QString refusal(const QString& path);
    // Empty when the size is acceptable.
    static QString sizeRefusal(qint64 bytes);
};

} // namespace Tessaryn
