// Replays the fuzzing corpus (seeds plus the inputs the fuzzer kept for reaching new code) without
// the fuzzer: every input must parse into a checked manifest or fail with one of the reader's or
// the manifest's own messages, never with another exception.
#include "TestSupport.h"
#include "selfupdate/UpdateManifest.h"

#include <QDir>
#include <QtTest>

#include <stdexcept>

using selfupdate::UpdateManifest;

namespace {

// Bounds that keep the replay fast; the fuzz script caps inputs at 1024 bytes.
constexpr int MaxCorpusFiles = 500;
constexpr qint64 MaxInputBytes = 1024;

const char* const KnownMessages[] = {
    "Empty JSON input",
    "Unexpected trailing characters in JSON",
    "Unexpected token parsing JSON at position ",
    "Invalid boolean value in JSON",
    "Invalid null literal in JSON",
    "Expected digit in number at position ",
    "Expected digit after decimal point at position ",
    "Expected digit in exponent at position ",
    "Number out of range in JSON at position ",
    "JSON nesting too deep at position ",
    "Unterminated string in JSON",
    "Unterminated escape sequence in string",
    "Truncated \\u unicode escape",
    "Invalid hex in \\u unicode escape",
    "Unknown escape character in string: \\",
    "Unterminated array in JSON",
    "Expected ',' or ']' in array at position ",
    "Expected string key in object at position ",
    "Expected ':' after key in object at position ",
    "Expected ',' or '}' in object at position ",
    "Unterminated object in JSON",
    "Manifest JSON root must be an object",
    "'apps' in catalog must be an object",
    "Catalog contains ",
    "Application '",
    "Selected application node must be an object",
    "Manifest missing or empty applicationId",
    "Manifest missing or empty versionName",
    "Manifest versionCode must be greater than zero",
    "Manifest missing packageUrl, downloadUrl, or apkUrl",
    "Manifest sha256 checksum must be exactly 64 hex characters",
    "Manifest sha256 checksum contains non-hexadecimal character",
};

bool isKnownMessage(const std::string& message) {
    for (const char* known : KnownMessages) {
        if (message.rfind(known, 0) == 0)
            return true;
    }
    return false;
}

bool isLowerHex(const std::string& text) {
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

} // namespace

class ManifestCorpusTest : public QObject {
    Q_OBJECT

private slots:
    void replaysCorpus() {
        const QDir corpus(QStringLiteral(TESSARYN_FUZZ_CORPUS_DIR));
        const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
        QVERIFY2(names.size() >= 5, qPrintable("corpus missing at " + corpus.path()));
        QVERIFY(names.size() <= MaxCorpusFiles);
        int parsed = 0;
        for (const QString& name : names) {
            const QByteArray bytes = TestSupport::readFile(corpus.filePath(name));
            QVERIFY2(bytes.size() <= MaxInputBytes, qPrintable(name));
            const std::string json = bytes.toStdString();
            for (const std::string& target :
                 {std::string(), std::string("com.kadmir.tessaryn.debug")}) {
                try {
                    const UpdateManifest m =
                        UpdateManifest::fromJson(json, "https://h.test/win/version.json", target);
                    QVERIFY2(!m.applicationId.empty() && !m.versionName.empty() &&
                                 m.versionCode > 0 && !m.packageUrl.empty(),
                             qPrintable(name));
                    QVERIFY2(m.sha256.size() == 64 && isLowerHex(m.sha256), qPrintable(name));
                    ++parsed;
                } catch (const std::invalid_argument& e) {
                    QVERIFY2(isKnownMessage(e.what()), qPrintable(name + ": " + e.what()));
                } catch (const std::exception& e) {
                    QFAIL(qPrintable(name + ": unexpected exception: " + e.what()));
                }
            }
        }
        // The seeds hold complete manifests, so some inputs get through every check.
        QVERIFY(parsed > 0);
    }
};

QTEST_GUILESS_MAIN(ManifestCorpusTest)
#include "tst_manifestcorpus.moc"
