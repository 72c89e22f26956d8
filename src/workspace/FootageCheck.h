#pragma once

#include <QString>

namespace Tessaryn {

// Decides whether a file may be sent to an analysis service or read as a reel's footage: only a
// regular file that lies inside the footage folder once links are resolved, and whose first
// bytes are those of a video container. Anything else (a link to a private key, a named pipe, a
// renamed document) never leaves the machine.
class FootageCheck {
public:
    // Enough for every container signature checked.
    static constexpr int SniffBytes = 16;

    // Empty when the file is acceptable footage; otherwise the reason, naming the file.
    static QString problem(const QString& path, const QString& footageDir);
    // ISO base media (MP4, MOV, M4V) or Matroska, by their first bytes.
    static bool looksLikeVideoContainer(const QByteArray& head);
};

} // namespace Tessaryn
