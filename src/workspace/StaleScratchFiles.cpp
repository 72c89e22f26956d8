#include "workspace/StaleScratchFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace Tessaryn {

bool StaleScratchFiles::isPartialName(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.partial(\\.[^.]+)?$"));
    return pattern.match(fileName).hasMatch();
}

bool StaleScratchFiles::isConcatListName(const QString& fileName) {
    return fileName.startsWith(QLatin1String(".concat_list")) ||
           fileName.startsWith(QLatin1String("concat_list"));
}

int StaleScratchFiles::removeFrom(const QString& folder, const QDateTime& now) {
    const QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    int removed = 0;
    for (const QFileInfo& file : files) {
        qint64 quietSeconds = 0;
        if (isPartialName(file.fileName()))
            quietSeconds = PartialQuietSeconds;
        else if (isConcatListName(file.fileName()))
            quietSeconds = ConcatListQuietSeconds;
        else
            continue;
        // A modification time in the future (a skewed clock) never counts as quiet.
        const QDateTime modified = file.lastModified();
        if (!modified.isValid() || modified.secsTo(now) < quietSeconds)
            continue;
        if (QFile::remove(file.filePath()))
            ++removed;
    }
    return removed;
}

} // namespace Tessaryn
