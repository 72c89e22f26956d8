#include "app/Credentials.h"

#include "app/SecretStore.h"

#ifdef _WIN32
#include "app/WinCredentialStore.h"
#else
#include "app/FileSecretStore.h"
#include "app/LibsecretStore.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace Tessaryn {

namespace {

struct FoundKey {
    QString key;
    Credentials::Source source = Credentials::Source::None;
};

QString trimmedEntry(SecretStore& store, const QString& target) {
    const std::optional<QByteArray> blob = store.read(target);
    return blob ? QString::fromUtf8(*blob).trimmed() : QString();
}

bool writeCurrent(SecretStore& store, const QString& key) {
    return store.write(Credentials::currentTarget(), Credentials::userName(),
                       key.trimmed().toUtf8());
}

FoundKey lookup() {
    Credentials::Source kind = Credentials::Source::None;
    if (const std::unique_ptr<SecretStore> store = Credentials::openSecretStore(&kind)) {
        QString key = trimmedEntry(*store, Credentials::currentTarget());
        if (!key.isEmpty())
            return {key, kind};
        for (const QString& older : Credentials::olderTargets()) {
            key = trimmedEntry(*store, older);
            if (!key.isEmpty()) {
                writeCurrent(*store, key); // the older entry stays for an older installation
                return {key, kind};
            }
        }
    }
    QString key = Credentials::readFromEnvironment();
    if (!key.isEmpty())
        return {key, Credentials::Source::Environment};
    key = Credentials::readFromDotEnv();
    if (!key.isEmpty())
        return {key, Credentials::Source::DotEnv};
    return {};
}

// The value of a trimmed line that begins with the key name exactly; one pair of matching
// quotes around it is dropped.
QString dotEnvValue(const QString& line) {
    static const QString prefix = QStringLiteral("GEMINI_API_KEY=");
    if (!line.startsWith(prefix))
        return QString();
    QString value = line.mid(prefix.size()).trimmed();
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    return value.trimmed();
}

} // namespace

QString Credentials::currentTarget() {
    return QStringLiteral("Tessaryn/GeminiApiKey");
}

QStringList Credentials::olderTargets() {
    return {QStringLiteral("Brassmoor/GeminiApiKey"),
            QStringLiteral("QuorvaneStudio/GeminiApiKey")};
}

QString Credentials::userName() {
    return QStringLiteral("TessarynUser");
}

Credentials::Source Credentials::getSecretStoreKind() {
#ifdef _WIN32
    return Source::CredentialManager;
#else
    return LibsecretStore::isAvailable() ? Source::SecretService : Source::File;
#endif
}

std::unique_ptr<SecretStore> Credentials::openSecretStore(Source* kind) {
    const Source which = getSecretStoreKind();
    if (kind)
        *kind = which;
#ifdef _WIN32
    return std::make_unique<WinCredentialStore>();
#else
    if (which == Source::SecretService)
        return std::make_unique<LibsecretStore>();
    return std::make_unique<FileSecretStore>(FileSecretStore::defaultPath());
#endif
}

QString Credentials::getApiKey() {
    return lookup().key;
}

bool Credentials::hasApiKey() {
    return !getApiKey().trimmed().isEmpty();
}

Credentials::Source Credentials::getApiKeySource() {
    return lookup().source;
}

bool Credentials::setApiKey(const QString& key) {
    const std::unique_ptr<SecretStore> store = openSecretStore();
    return store && writeCurrent(*store, key);
}

bool Credentials::deleteApiKey() {
    const std::unique_ptr<SecretStore> store = openSecretStore();
    if (!store)
        return false;
    for (const QString& older : olderTargets())
        store->remove(older);
    return store->remove(currentTarget());
}

QString Credentials::readFromEnvironment() {
    return qEnvironmentVariable("GEMINI_API_KEY").trimmed();
}

QStringList Credentials::dotEnvCandidates() {
    const QString name = QStringLiteral(".env");
    QStringList paths{name, QDir::current().absoluteFilePath(name)};
    if (QCoreApplication::instance()) {
        const QDir appDir(QCoreApplication::applicationDirPath());
        paths << appDir.filePath(name) << appDir.filePath(QStringLiteral("../../.env"));
    }
    return paths;
}

QString Credentials::readFromDotEnvFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        QFile file(path);
        // A file this large is no settings file; it is skipped like an unreadable one.
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text) || file.size() > MaxDotEnvBytes)
            continue;
        while (!file.atEnd()) {
            const QString value =
                dotEnvValue(QString::fromUtf8(file.readLine(MaxDotEnvBytes)).trimmed());
            if (!value.isEmpty())
                return value;
        }
    }
    return QString();
}

QString Credentials::readFromDotEnv() {
    return readFromDotEnvFiles(dotEnvCandidates());
}

} // namespace Tessaryn
