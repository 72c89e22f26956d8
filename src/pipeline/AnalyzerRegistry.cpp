#include "pipeline/AnalyzerRegistry.h"

#include "pipeline/GeminiAnalyzer.h"

namespace Tessaryn {

QString AnalyzerRegistry::defaultName() {
    return QStringLiteral("gemini");
}

QStringList AnalyzerRegistry::names() {
    return {defaultName()};
}

std::unique_ptr<Analyzer>
AnalyzerRegistry::create(const QString& name, const PipelineSettings& settings, QObject* parent) {
    if (name == QLatin1String("gemini"))
        return std::make_unique<GeminiAnalyzer>(settings, std::function<QString()>(), parent);
    return nullptr;
}

} // namespace Tessaryn
