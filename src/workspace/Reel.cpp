#include "workspace/Reel.h"

#include <QDateTime>
#include <QFileInfo>

namespace Tessaryn {

QString Reel::statusText() const {
    return statusText(status);
}

QString Reel::statusText(ReelStatus status) {
    switch (status) {
    case ReelStatus::Pending:
        return QStringLiteral("Pending");
    case ReelStatus::Analyzing:
        return QStringLiteral("Analyzing (Gemini)");
    case ReelStatus::Analyzed:
        return QStringLiteral("Analyzed");
    case ReelStatus::Rendering:
        return QStringLiteral("Rendering (FFmpeg)");
    case ReelStatus::Completed:
        return QStringLiteral("Completed");
    case ReelStatus::Error:
        return QStringLiteral("Error");
    }
    return QStringLiteral("Unknown");
}

bool Reel::cutIsStale() const {
    const QFileInfo cut(rendered_path);
    const QFileInfo timelineFile(timeline_path);
    if (!cut.exists() || !timelineFile.exists())
        return false;
    return cut.lastModified() < timelineFile.lastModified();
}

bool Reel::hasCurrentCut() const {
    return QFileInfo::exists(rendered_path) && !cutIsStale();
}

} // namespace Tessaryn
