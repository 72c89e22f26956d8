#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QObject;

namespace Tessaryn {

class Analyzer;
class PipelineSettings;

// The analyzers a reel can be sent to, by name. A new analyzer is one class and one entry here.
class AnalyzerRegistry {
public:
    static QString defaultName(); // "gemini"
    static QStringList names();
    // Nothing for a name that is not registered.
    static std::unique_ptr<Analyzer> create(const QString& name, const PipelineSettings& settings,
                                            QObject* parent = nullptr);
};

} // namespace Tessaryn
