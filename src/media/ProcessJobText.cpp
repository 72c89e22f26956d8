#include "media/ProcessJob.h"

#include <QRegularExpression>

namespace Tessaryn {

namespace {

// Words with which ffmpeg and its libraries name a cause, as against statistics and progress.
const QRegularExpression& causePattern() {
    static const QRegularExpression pattern(
        QStringLiteral("error|invalid|failed|cannot|could not|unable|no such|not found|denied|"
                       "no space|not supported|unsupported|does not|mismatch|unknown|corrupt"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

QStringList linesOf(const QString& text) {
    static const QRegularExpression lineEnd(QStringLiteral("[\r\n]+"));
    return text.split(lineEnd, Qt::SkipEmptyParts);
}

} // namespace

QString ProcessJob::failureText(const QString& stderrText, const QString& tool, int exitCode,
                                QProcess::ExitStatus exitStatus) {
    // The latest cause lines that fit, in their order: the closing statistics an encoder prints
    // after the failure would push the cause out of a plain tail.
    QStringList causes;
    qsizetype length = 0;
    const QStringList lines = linesOf(stderrText);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.contains(causePattern()) || causes.contains(line))
            continue;
        if (length + line.size() + 1 > ErrorTailLength)
            break;
        causes.prepend(line);
        length += line.size() + 1;
    }
    QString text = causes.isEmpty() ? stderrText.trimmed().right(ErrorTailLength)
                                    : causes.join(QLatin1Char('\n'));
    if (text.isEmpty())
        text = exitStatus == QProcess::NormalExit
                   ? QStringLiteral("%1 exited with code %2.").arg(tool, QString::number(exitCode))
                   : QStringLiteral("%1 was stopped.").arg(tool);
    return text;
}

QString ProcessJob::writeFailure(const QString& stderrText) {
    static const QRegularExpression pattern(
        QStringLiteral("error writing trailer|error closing file|error flushing|"
                       "no space left on device|error muxing|conversion failed"),
        QRegularExpression::CaseInsensitiveOption);
    const QStringList lines = linesOf(stderrText);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (it->contains(pattern))
            return it->trimmed().left(ErrorTailLength);
    }
    return QString();
}

} // namespace Tessaryn
