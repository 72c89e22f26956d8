#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace Tessaryn {

class ProbeJob;
class Workspace;

// Probes, one clip at a time and without waiting, the stream facts of every reel of the open
// workspace that does not know them yet, so lengths show in the reel list and every export is
// laid on the clip's own frame grid before anything is rendered.
class FootageProber : public QObject {
public:
    // After each reel that learned its facts; the owner redraws or saves.
    std::function<void(int reelIndex)> reelProbedCallback;
    std::function<void()> finishedCallback;

    explicit FootageProber(Workspace* workspace, QObject* parent = nullptr);
    ~FootageProber() override;

    // Starts over on the workspace as it is now; a run on an earlier project ends quietly.
    void start();
    void stop();
    bool isRunning() const { return probe != nullptr; }

private:
    void probeNext();
    void onProbed(bool success);

    Workspace* workspace = nullptr;
    ProbeJob* probe = nullptr;
    QString root;
    QStringList pending; // reel names still to probe
    QString current;
};

} // namespace Tessaryn
