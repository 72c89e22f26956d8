#pragma once

#include "timeline/Classification.h"

#include <QString>

namespace Tessaryn {

// The words that stand for a classification in JSON: "milestone", "repetitive_assembly",
// "static_pause", and the empty word for Unclassified.
class ClassificationText {
public:
    static QString toText(Classification classification);
    // Case-sensitive. An empty word is Unclassified; any other unknown word is a Milestone,
    // which is what the computation makes of it anyway.
    static Classification fromText(const QString& word);
};

} // namespace Tessaryn
