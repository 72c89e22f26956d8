#include "media/StitchJob.h"

#include "media/FFmpegEngine.h"

namespace Tessaryn {

StitchJob::StitchJob(const QString& listPath, const QString& outputPath, double expectedSeconds,
                     double allowed, QObject* parent)
    : ProcessJob(parent), list(listPath), expected(expectedSeconds), tolerance(allowed) {
    setTarget(outputPath);
}

QString StitchJob::program() const {
    return FFmpegEngine::findFFmpeg();
}

QStringList StitchJob::arguments() const {
    return {QStringLiteral("-y"),
            QStringLiteral("-f"),
            QStringLiteral("concat"),
            QStringLiteral("-safe"),
            QStringLiteral("0"),
            QStringLiteral("-i"),
            list,
            QStringLiteral("-c"),
            QStringLiteral("copy"),
            partialPath()};
}

void StitchJob::verifyResult() {
    verifyOutput(expected, tolerance);
}

} // namespace Tessaryn
