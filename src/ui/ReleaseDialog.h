#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace Tessaryn {

class Workspace;

// Chooses the master film's order and which reels it leaves out, before stitching. Reads the
// workspace once; the owner stores the choice with Workspace::setReleaseOrder.
class ReleaseDialog : public QDialog {
public:
    explicit ReleaseDialog(const Workspace& workspace, QWidget* parent = nullptr);

    // Every reel name, top to bottom.
    QStringList order() const;
    // The names whose box is cleared.
    QStringList excluded() const;
    // Accepted with "Save && Stitch" rather than "Save Order".
    bool stitchRequested() const { return stitch; }

    void moveSelected(int step);
    void sortNaturally();

private:
    QListWidget* list = nullptr;
    bool stitch = false;
};

} // namespace Tessaryn
