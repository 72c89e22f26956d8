#pragma once

#include "media/ProcessJob.h"

#include <functional>
#include <optional>

namespace Tessaryn {

// Asks ffprobe for a file's duration and the shape of its first video stream, without waiting:
// the answer arrives through probedCallback. A run succeeds only with a positive duration.
class ProbeJob : public ProcessJob {
public:
    std::function<void(bool success, double seconds, const QString& errorText)> probedCallback;

    explicit ProbeJob(const QString& path = QString(), QObject* parent = nullptr);

    void setPath(const QString& path) { filePath = path; }
    QString path() const { return filePath; }
    // Of the last run; 0 when unknown.
    double duration() const { return seconds; }
    double frameRate() const { return rate; }
    // "<width>x<height> at <rate> fps, <codec> <pixel format>"; none without a video stream.
    std::optional<QString> videoDescription() const { return video; }

protected:
    QString program() const override;
    QStringList arguments() const override;
    QString toolName() const override { return QStringLiteral("ffprobe"); }
    void verifyResult() override;
    void report(bool success, const QString& errorText) override;

private:
    void parse(const QByteArray& output);

    QString filePath;
    double seconds = 0.0;
    double rate = 0.0;
    std::optional<QString> video;
};

} // namespace Tessaryn
