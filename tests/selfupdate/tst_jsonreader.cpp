// The catalog reader is private to UpdateManifest, so it is driven through fromJson: syntax errors
// surface before any manifest check, and parsed values are read back through manifest fields.
#include "selfupdate/UpdateManifest.h"

#include <QtTest>

#include <limits>
#include <stdexcept>

using selfupdate::UpdateManifest;

namespace {

const char* const ValidFields =
    R"("applicationId":"app","versionName":"1.0","versionCode":1,"packageUrl":"p.exe",)"
    R"("sha256":"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef")";

// The message of the std::invalid_argument that fromJson throws, "parsed" on success.
QByteArray outcome(const QByteArray& json) {
    try {
        UpdateManifest::fromJson(json.toStdString(), "https://h.test/a/version.json", "");
        return "parsed";
    } catch (const std::invalid_argument& e) {
        return e.what();
    } catch (const std::exception& e) {
        return QByteArray("other exception: ") + e.what();
    }
}

UpdateManifest parseWith(const QByteArray& members) {
    return UpdateManifest::fromJson("{" + members.toStdString() + "," + ValidFields + "}",
                                    "https://h.test/a/version.json", "");
}

} // namespace

class JsonReaderTest : public QObject {
    Q_OBJECT

private slots:
    void reportsErrorsWithPositions_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("message");
        const QByteArray root = "Manifest JSON root must be an object";
        QTest::newRow("empty") << QByteArray() << QByteArray("Empty JSON input");
        QTest::newRow("two blanks") << QByteArray("  ") << QByteArray("Empty JSON input");
        QTest::newRow("all whitespace kinds")
            << QByteArray(" \t\r\n") << QByteArray("Empty JSON input");
        QTest::newRow("trailing letter")
            << QByteArray("{} x") << QByteArray("Unexpected trailing characters in JSON");
        QTest::newRow("literal then letter")
            << QByteArray("truex") << QByteArray("Unexpected trailing characters in JSON");
        QTest::newRow("trailing comma in array")
            << QByteArray("[1,]") << QByteArray("Unexpected token parsing JSON at position 3");
        QTest::newRow("vertical tab is no blank")
            << QByteArray("\v1") << QByteArray("Unexpected token parsing JSON at position 0");
        QTest::newRow("leading plus")
            << QByteArray(" +1") << QByteArray("Unexpected token parsing JSON at position 1");
        QTest::newRow("value missing at end")
            << QByteArray("{\"a\":") << QByteArray("Unexpected token parsing JSON at position 5");
        QTest::newRow("bad boolean")
            << QByteArray("[tru]") << QByteArray("Invalid boolean value in JSON");
        QTest::newRow("bad false")
            << QByteArray("fals") << QByteArray("Invalid boolean value in JSON");
        QTest::newRow("bad null") << QByteArray("nul")
                                  << QByteArray("Invalid null literal in JSON");
        QTest::newRow("lone minus")
            << QByteArray("[-]") << QByteArray("Expected digit in number at position 2");
        QTest::newRow("minus at end")
            << QByteArray("-") << QByteArray("Expected digit in number at position 1");
        QTest::newRow("point without digit")
            << QByteArray("1.e5") << QByteArray("Expected digit after decimal point at position 2");
        QTest::newRow("exponent without digit")
            << QByteArray("2E-x") << QByteArray("Expected digit in exponent at position 3");
        QTest::newRow("exponent at end")
            << QByteArray("1e") << QByteArray("Expected digit in exponent at position 2");
        QTest::newRow("unterminated string")
            << QByteArray("\"abc") << QByteArray("Unterminated string in JSON");
        QTest::newRow("escape at end")
            << QByteArray("\"ab\\") << QByteArray("Unterminated escape sequence in string");
        QTest::newRow("short unicode escape")
            << QByteArray("\"\\u12\"") << QByteArray("Truncated \\u unicode escape");
        QTest::newRow("bad hex") << QByteArray("\"\\u12G4\"")
                                 << QByteArray("Invalid hex in \\u unicode escape");
        QTest::newRow("unknown escape")
            << QByteArray("\"\\x\"") << QByteArray("Unknown escape character in string: \\x");
        QTest::newRow("open array") << QByteArray("[") << QByteArray("Unterminated array in JSON");
        QTest::newRow("array after comma")
            << QByteArray("[1,") << QByteArray("Unterminated array in JSON");
        QTest::newRow("array separator")
            << QByteArray("[1 2]") << QByteArray("Expected ',' or ']' in array at position 4");
        QTest::newRow("array separator at end")
            << QByteArray("[1") << QByteArray("Expected ',' or ']' in array at position 2");
        QTest::newRow("literal runs into bracket")
            << QByteArray("[truex]") << QByteArray("Expected ',' or ']' in array at position 6");
        QTest::newRow("key not a string")
            << QByteArray("{1:2}") << QByteArray("Expected string key in object at position 1");
        QTest::newRow("trailing comma in object")
            << QByteArray("{\"a\":1,}")
            << QByteArray("Expected string key in object at position 7");
        QTest::newRow("missing colon")
            << QByteArray("{\"a\" 1}")
            << QByteArray("Expected ':' after key in object at position 6");
        QTest::newRow("colon at end")
            << QByteArray("{\"a\"") << QByteArray("Expected ':' after key in object at position 4");
        QTest::newRow("object separator")
            << QByteArray("{\"a\":1 \"b\":2}")
            << QByteArray("Expected ',' or '}' in object at position 8");
        QTest::newRow("object separator at end")
            << QByteArray("{\"a\":1") << QByteArray("Expected ',' or '}' in object at position 6");
        QTest::newRow("open object")
            << QByteArray("{ ") << QByteArray("Unterminated object in JSON");
        QTest::newRow("object after comma")
            << QByteArray("{\"a\":1,") << QByteArray("Unterminated object in JSON");
        // Kept sound where the standard conversions would throw std::out_of_range.
        QTest::newRow("integer overflow")
            << QByteArray("[99999999999999999999]")
            << QByteArray("Number out of range in JSON at position 1");
        QTest::newRow("integer underflow")
            << QByteArray(" -9223372036854775809")
            << QByteArray("Number out of range in JSON at position 1");
        QTest::newRow("double overflow")
            << QByteArray("[0, -1e999]") << QByteArray("Number out of range in JSON at position 4");
        QTest::newRow("too deep") << QByteArray(513, '[')
                                  << QByteArray("JSON nesting too deep at position 512");
        QTest::newRow("deepest allowed") << QByteArray(512, '[') + QByteArray(512, ']') << root;
        QTest::newRow("every kind of value")
            << QByteArray("[1, -2.5e+1, 0.5E-3, true, false, null, \"\", {}, [], {\"k\":[{}]}]")
            << root;
        QTest::newRow("int64 limits")
            << QByteArray("[9223372036854775807,-9223372036854775808]") << root;
    }

    void reportsErrorsWithPositions() {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, message);
        QCOMPARE(outcome(json), message);
    }

    void readsNumbers_data() {
        QTest::addColumn<QByteArray>("literal");
        QTest::addColumn<qint64>("value");
        const qint64 max = std::numeric_limits<qint64>::max();
        QTest::newRow("integer") << QByteArray("12") << qint64(12);
        QTest::newRow("leading zeros") << QByteArray("007") << qint64(7);
        QTest::newRow("negative exponent form") << QByteArray("-2.5e1") << qint64(-25);
        QTest::newRow("fraction truncates") << QByteArray("1.9") << qint64(1);
        QTest::newRow("negative fraction toward zero") << QByteArray("-1.9") << qint64(-1);
        QTest::newRow("upper-case exponent") << QByteArray("1E+2") << qint64(100);
        QTest::newRow("tiny") << QByteArray("0.5E-3") << qint64(0);
        QTest::newRow("largest integer") << QByteArray("9223372036854775807") << max;
        // A double past the integer range saturates instead of an undefined conversion.
        QTest::newRow("huge double") << QByteArray("1e300") << max;
        QTest::newRow("huge negative double")
            << QByteArray("-1e300") << std::numeric_limits<qint64>::min();
        QTest::newRow("not a number: string") << QByteArray("\"5\"") << qint64(-1);
        QTest::newRow("not a number: bool") << QByteArray("true") << qint64(-1);
    }

    void readsNumbers() {
        QFETCH(QByteArray, literal);
        QFETCH(qint64, value);
        QCOMPARE(qint64(parseWith("\"sizeBytes\":" + literal).sizeBytes), value);
    }

    void readsStrings_data() {
        QTest::addColumn<QByteArray>("literal");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("simple escapes")
            << QByteArray("\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"") << QByteArray("\"\\/\b\f\n\r\t");
        QTest::newRow("one-byte unicode") << QByteArray(R"("\u0041")") << QByteArray("A");
        QTest::newRow("two-byte unicode")
            << QByteArray(R"("\u00e9\u07FF")") << QByteArray("\xC3\xA9\xDF\xBF");
        QTest::newRow("three-byte unicode")
            << QByteArray(R"("\u0800\uFFFF")") << QByteArray("\xE0\xA0\x80\xEF\xBF\xBF");
        QTest::newRow("surrogates stay unpaired")
            << QByteArray(R"("\ud83d\uDE00")") << QByteArray("\xED\xA0\xBD\xED\xB8\x80");
        QTest::newRow("escaped zero") << QByteArray(R"("a\u0000b")") << QByteArray("a\0b", 3);
        QTest::newRow("raw tab and line feed")
            << QByteArray("\"a\tb\nc\"") << QByteArray("a\tb\nc");
        QTest::newRow("raw high bytes")
            << QByteArray("\"\xFF\xC3\xA9\"") << QByteArray("\xFF\xC3\xA9");
    }

    void readsStrings() {
        QFETCH(QByteArray, literal);
        QFETCH(QByteArray, bytes);
        const std::string title = parseWith("\"title\":" + literal).title;
        QCOMPARE(QByteArray(title.data(), qsizetype(title.size())), bytes);
    }

    void lastDuplicateWins() {
        QCOMPARE(qint64(parseWith(R"("sizeBytes":1,"sizeBytes":2)").sizeBytes), qint64(2));
        QCOMPARE(parseWith(R"("title":"a","title":7)").title, std::string());
    }
};

QTEST_GUILESS_MAIN(JsonReaderTest)
#include "tst_jsonreader.moc"
