#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace Tessaryn {

// A lock file inside a project folder. Held by the studio for the project it has open, and by
// every reel job for its reel, so two processes never write the same files at once. A lock
// left behind by a process that died is taken over.
class WorkspaceLock {
public:
    explicit WorkspaceLock(const QString& lockPath);
    ~WorkspaceLock();
    WorkspaceLock(const WorkspaceLock&) = delete;
    WorkspaceLock& operator=(const WorkspaceLock&) = delete;

    // False when it could not be taken: heldElsewhere() tells whether another live process
    // has it (holder() then says which) or the folder cannot hold a lock file at all.
    bool tryLock();
    bool heldElsewhere() const;
    void unlock();
    bool isLocked() const;
    // "process 1234 on host", or empty when unknown.
    QString holder() const;

    // The studio's lock of a whole project.
    static QString projectLockPath(const QString& rootPath);
    // A job's lock of one reel: fileStem names the reel's files, kind the job ("render").
    static QString reelLockPath(const QString& rootPath, const QString& fileStem,
                                const QString& kind);

private:
    std::unique_ptr<QLockFile> file;
};

} // namespace Tessaryn
