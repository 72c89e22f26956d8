#include "media/FrameGrabJob.h"

#include "media/FFmpegEngine.h"

#include <QFileInfo>

namespace Tessaryn {

FrameGrabJob::FrameGrabJob(QObject* parent) : ProcessJob(parent) {}

void FrameGrabJob::setRequest(const QString& clipPath, double seconds) {
    clip = clipPath;
    position = seconds;
}

QString FrameGrabJob::program() const {
    return FFmpegEngine::findFFmpeg();
}

QStringList FrameGrabJob::arguments() const {
    // Absolute, so that a name holding a colon is never read as an ffmpeg protocol.
    return {QStringLiteral("-ss"),      QString::number(position, 'f', 2),
            QStringLiteral("-i"),       QFileInfo(clip).absoluteFilePath(),
            QStringLiteral("-vframes"), QStringLiteral("1"),
            QStringLiteral("-f"),       QStringLiteral("image2pipe"),
            QStringLiteral("-vcodec"),  QStringLiteral("bmp"),
            QStringLiteral("-")};
}

QString FrameGrabJob::prepareRun() {
    image.clear();
    return QString();
}

void FrameGrabJob::verifyResult() {
    image = processHandle()->readAllStandardOutput();
    settle(image.isEmpty() ? QStringLiteral("ffmpeg grabbed no frame of %1.").arg(clip)
                           : QString());
}

} // namespace Tessaryn
