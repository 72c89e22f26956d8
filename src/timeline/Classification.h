#pragma once

namespace Tessaryn {

// What a segment is for the cut. Inside the application it is always one of these; the words
// of the JSON files and of the model's answer are translated at that edge (ClassificationText).
enum class Classification {
    Unclassified, // the answer gave no word; the computation decides
    Milestone,
    RepetitiveAssembly,
    StaticPause,
};

} // namespace Tessaryn
