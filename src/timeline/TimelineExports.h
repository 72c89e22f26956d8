#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace Tessaryn {

class TimelineExport;

// The export formats by name, so that a caller can offer and pick them without knowing each.
class TimelineExports {
public:
    // Null for a name no format answers to (names are case-sensitive).
    static std::unique_ptr<TimelineExport> create(const QString& format);
    static QStringList formats();
};

} // namespace Tessaryn
