#pragma once

#include "media/ProcessJob.h"

#include <QByteArray>

namespace Tessaryn {

// One still frame of a clip as a BMP image on ffmpeg's standard output. The job is meant to be
// kept and started again for every new position.
class FrameGrabJob : public ProcessJob {
public:
    explicit FrameGrabJob(QObject* parent = nullptr);

    // Takes effect with the next start.
    void setRequest(const QString& clipPath, double seconds);
    QString clipPath() const { return clip; }
    // The image of the last successful run; empty otherwise.
    QByteArray picture() const { return image; }

protected:
    QString program() const override;
    QStringList arguments() const override;
    QString prepareRun() override;
    void verifyResult() override;

private:
    QString clip;
    double position = 0.0;
    QByteArray image;
};

} // namespace Tessaryn
