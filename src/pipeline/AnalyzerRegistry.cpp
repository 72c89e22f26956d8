#include "pipeline/AnalyzerRegistry.h"

#include "pipeline/GeminiAnalyzer.h"
#include "pipeline/HybridAnalyzer.h"
#include "pipeline/LocalAnalyzer.h"

namespace Tessaryn {

QString AnalyzerRegistry::defaultName() {
    return QStringLiteral("gemini");
}

QStringList AnalyzerRegistry::names() {
    return {defaultName(), QStringLiteral("local"), QStringLiteral("hybrid")};
}

std::unique_ptr<Analyzer>
AnalyzerRegistry::create(const QString& name, const PipelineSettings& settings, QObject* parent) {
    if (name == QLatin1String("gemini"))
        return std::make_unique<GeminiAnalyzer>(settings, std::function<QString()>(), parent);
    if (name == QLatin1String("local"))
        return std::make_unique<LocalAnalyzer>(settings, parent);
    if (name == QLatin1String("hybrid"))
        return std::make_unique<HybridAnalyzer>(settings, std::function<QString()>(), parent);
    return nullptr;
}

} // namespace Tessaryn
