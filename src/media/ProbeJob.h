#pragma once

#include "media/ProcessJob.h"
#include "timeline/StreamFacts.h"

class QJsonObject;

#include <functional>
#include <optional>

namespace Tessaryn {

// Asks ffprobe for a file's duration, the shape of its first video stream and its first audio
// stream, without waiting: the answer arrives through probedCallback. A run succeeds only with
// a positive duration.
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
    // "<codec> <rate> Hz <channels> ch"; none without an audio stream.
    std::optional<QString> audioDescription() const { return audio; }
    // Unknown (no rate) without a video stream.
    StreamFacts streamFacts() const { return facts; }
    // A rate as num/den, or 0/0 for text that is no rate.
    static bool parseRate(const QString& text, int* num, int* den);

protected:
    QString program() const override;
    QStringList arguments() const override;
    QString toolName() const override { return QStringLiteral("ffprobe"); }
    void verifyResult() override;
    void report(bool success, const QString& errorText) override;

private:
    void parse(const QByteArray& output);
    void readVideo(const QJsonObject& stream);
    void readAudio(const QJsonObject& stream);

    QString filePath;
    double seconds = 0.0;
    double rate = 0.0;
    std::optional<QString> video;
    std::optional<QString> audio;
    StreamFacts facts;
};

} // namespace Tessaryn
