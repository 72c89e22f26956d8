#include "workspace/Reel.h"

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

} // namespace Tessaryn
