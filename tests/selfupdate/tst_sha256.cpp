#include "TestSupport.h"
#include "selfupdate/Sha256.h"

#include <QTemporaryDir>
#include <QtTest>

#include <random>
#include <stdexcept>

using selfupdate::Sha256;

namespace {

std::string digest(Sha256::Engine engine, const QByteArray& bytes) {
    Sha256 hash(engine);
    hash.update(bytes.constData(), std::uint64_t(bytes.size()));
    return hash.finalHex();
}

// Every engine this processor runs: the portable one always, the hardware one where present.
QList<Sha256::Engine> engines() {
    QList<Sha256::Engine> list{Sha256::Engine::Portable};
    if (Sha256::isHardwareAvailable())
        list.append(Sha256::Engine::Hardware);
    return list;
}

QByteArray pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + 3) % 256);
    return bytes;
}

} // namespace

class Sha256Test : public QObject {
    Q_OBJECT

private slots:
    void matchesReferenceDigests_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("hex");
        QTest::newRow("empty")
            << QByteArray() << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
        QTest::newRow("abc") << QByteArray("abc")
                             << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        QTest::newRow("448 bits")
            << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
            << "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
        QTest::newRow("896 bits")
            << QByteArray("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnop"
                          "jklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu")
            << "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1";
        QTest::newRow("one million a")
            << QByteArray(1000000, 'a')
            << "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
        // Padding edges: the length field fits the last block up to 55 bytes, not from 56.
        QTest::newRow("55 bytes")
            << pattern(55) << "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b";
        QTest::newRow("56 bytes")
            << pattern(56) << "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27";
        QTest::newRow("63 bytes")
            << pattern(63) << "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055";
        QTest::newRow("64 bytes")
            << pattern(64) << "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241";
        QTest::newRow("65 bytes")
            << pattern(65) << "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e";
        QTest::newRow("119 bytes")
            << pattern(119) << "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e";
        QTest::newRow("200-byte pattern")
            << pattern(200) << "2c7e18c942ef065b526a2d4e5546283749cd3ddfb51d8fc71f42717363685f46";
    }

    void matchesReferenceDigests() {
        QFETCH(QByteArray, message);
        QFETCH(QString, hex);
        for (const Sha256::Engine engine : engines())
            QCOMPARE(QString::fromStdString(digest(engine, message)), hex);
        QCOMPARE(QString::fromStdString(
                     Sha256::hashBytes(message.constData(), std::uint64_t(message.size()))),
                 hex);
        QCOMPARE(QString::fromStdString(Sha256::hashString(message.toStdString())), hex);
    }

    void splitUpdatesMatchOneShot() {
        const QByteArray message = pattern(200);
        const std::string expected =
            "2c7e18c942ef065b526a2d4e5546283749cd3ddfb51d8fc71f42717363685f46";
        for (const Sha256::Engine engine : engines()) {
            for (int split = 0; split <= message.size(); ++split) {
                Sha256 hash(engine);
                hash.update(message.constData(), std::uint64_t(split));
                hash.update(message.constData() + split, std::uint64_t(message.size() - split));
                QVERIFY2(hash.finalHex() == expected, qPrintable(QString("split %1").arg(split)));
            }
            Sha256 byteWise(engine);
            for (const char c : message)
                byteWise.update(&c, 1);
            QCOMPARE(byteWise.finalHex(), expected);
        }
    }

    void enginesAgreeOnRandomInput() {
        if (!Sha256::isHardwareAvailable())
            QSKIP("this processor has no SHA extensions");
        QCOMPARE(Sha256(Sha256::Engine::Hardware).engine(), Sha256::Engine::Hardware);
        std::mt19937 random(20240611);
        for (int round = 0; round < 200; ++round) {
            QByteArray bytes(int(random() % 1500), '\0');
            for (char& c : bytes)
                c = char(random());
            QCOMPARE(digest(Sha256::Engine::Hardware, bytes),
                     digest(Sha256::Engine::Portable, bytes));
        }
    }

    void reportsItsEngine() {
        QCOMPARE(Sha256(Sha256::Engine::Portable).engine(), Sha256::Engine::Portable);
        QCOMPARE(Sha256().engine(), Sha256::isHardwareAvailable() ? Sha256::Engine::Hardware
                                                                  : Sha256::Engine::Portable);
    }

    void finalisationAndRestart() {
        Sha256 hash;
        hash.update("abc", 3);
        const std::vector<std::uint8_t> bytes = hash.finalBytes();
        QCOMPARE(bytes.size(), size_t(32));
        QCOMPARE(bytes.front(), std::uint8_t(0xba));
        QCOMPARE(bytes.back(), std::uint8_t(0xad));
        QCOMPARE(hash.finalHex(),
                 std::string("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        QCOMPARE(hash.finalHex(), hash.finalHex());
        QVERIFY(hash.finalBytes() == bytes);

        // Nothing absorbed: still finalised on "abc".
        hash.update(nullptr, 5);
        hash.update("x", 0);
        QCOMPARE(hash.finalHex().substr(0, 8), std::string("ba7816bf"));

        hash.update("abc", 2);
        hash.update("c", 1);
        QCOMPARE(hash.finalHex(), Sha256::hashString("abc"));

        hash.update("zz", 2);
        hash.reset();
        QCOMPARE(hash.finalHex(), Sha256::hashString(std::string()));
    }

    void hashesFiles() {
        QTemporaryDir dir;
        // Crosses several 65536-byte reads and ends mid-block.
        const QByteArray content = pattern(3 * 65536 + 1001);
        const QString path = dir.filePath(QString::fromUtf8("päckage ✓.bin"));
        QVERIFY(TestSupport::writeFile(path, content));
        QCOMPARE(Sha256::hashFile(path.toStdString()),
                 Sha256::hashBytes(content.constData(), std::uint64_t(content.size())));
        const QString empty = dir.filePath("empty.bin");
        QVERIFY(TestSupport::writeFile(empty, QByteArray()));
        QCOMPARE(Sha256::hashFile(empty.toStdString()), Sha256::hashString(std::string()));
    }

    void failsOnUnopenableFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "missing.bin";
        QTest::newRow("folder") << "";
    }

    void failsOnUnopenableFiles() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const std::string path = (name.isEmpty() ? dir.path() : dir.filePath(name)).toStdString();
        try {
            Sha256::hashFile(path);
            QFAIL("no exception");
        } catch (const std::runtime_error& e) {
            QCOMPARE(std::string(e.what()), "Cannot open file for SHA-256 calculation: " + path);
        }
    }
};

QTEST_GUILESS_MAIN(Sha256Test)
#include "tst_sha256.moc"
