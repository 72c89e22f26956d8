#include "timeline/ClassificationText.h"

namespace Tessaryn {

QString ClassificationText::toText(Classification classification) {
    switch (classification) {
    case Classification::Milestone:
        return QStringLiteral("milestone");
    case Classification::RepetitiveAssembly:
        return QStringLiteral("repetitive_assembly");
    case Classification::StaticPause:
        return QStringLiteral("static_pause");
    case Classification::Unclassified:
        break;
    }
    return QString();
}

Classification ClassificationText::fromText(const QString& word) {
    if (word.isEmpty())
        return Classification::Unclassified;
    if (word == QLatin1String("repetitive_assembly"))
        return Classification::RepetitiveAssembly;
    if (word == QLatin1String("static_pause"))
        return Classification::StaticPause;
    return Classification::Milestone;
}

} // namespace Tessaryn
