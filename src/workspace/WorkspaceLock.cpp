#include "workspace/WorkspaceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace Tessaryn {

WorkspaceLock::WorkspaceLock(const QString& lockPath) : file(new QLockFile(lockPath)) {
    // Never stale by age: a render may hold a reel for hours. A dead holder is still detected.
    file->setStaleLockTime(0);
}

WorkspaceLock::~WorkspaceLock() = default;

bool WorkspaceLock::tryLock() {
    if (file->isLocked())
        return true;
    // The temp folder of an older project may be missing.
    QDir().mkpath(QFileInfo(file->fileName()).absolutePath());
    return file->tryLock(0);
}

bool WorkspaceLock::heldElsewhere() const {
    return !file->isLocked() && file->error() == QLockFile::LockFailedError;
}

void WorkspaceLock::unlock() {
    file->unlock();
}

bool WorkspaceLock::isLocked() const {
    return file->isLocked();
}

QString WorkspaceLock::holder() const {
    qint64 pid = 0;
    QString host;
    QString app;
    if (!file->getLockInfo(&pid, &host, &app))
        return QString();
    return host.isEmpty() ? QStringLiteral("process %1").arg(pid)
                          : QStringLiteral("process %1 on %2").arg(QString::number(pid), host);
}

QString WorkspaceLock::projectLockPath(const QString& rootPath) {
    return QDir(rootPath).filePath(QStringLiteral(".tessaryn.lock"));
}

QString WorkspaceLock::reelLockPath(const QString& rootPath, const QString& fileStem,
                                    const QString& kind) {
    return QDir(QDir(rootPath).filePath(QStringLiteral("temp")))
        .filePath(QStringLiteral(".%1.%2.lock").arg(fileStem, kind));
}

} // namespace Tessaryn
