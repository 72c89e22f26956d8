#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace Tessaryn {

// Reads and writes the files the application stores; a write never leaves a truncated file.
class SafeFile {
public:
    // Stored documents are small; anything larger is not one of ours.
    static constexpr qint64 DefaultMaxBytes = 64 * 1024 * 1024;

    // The document's root object, or nothing when the file is missing, unreadable,
    // larger than maxBytes or not a JSON object.
    static std::optional<QJsonObject> readJsonObject(const QString& path,
                                                     qint64 maxBytes = DefaultMaxBytes);

    // Writes the indented document; on any failure the previous file stays intact.
    static bool writeJsonObject(const QString& path, const QJsonObject& obj);

    // Replaces the file's content with UTF-8 text (platform line ends), likewise atomically.
    static bool writeText(const QString& path, const QString& text);
};

} // namespace Tessaryn
