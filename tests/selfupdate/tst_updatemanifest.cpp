#include "selfupdate/UpdateManifest.h"

#include <QtTest>

#include <limits>
#include <stdexcept>

using selfupdate::InstallMode;
using selfupdate::UpdateManifest;

namespace {

const QByteArray Sha = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const std::string ManifestUrl = "https://h.test/win/version.json";

// A valid single-application manifest; the given members follow, so they override its fields.
QByteArray manifest(const QByteArray& members = QByteArray()) {
    const QByteArray valid = R"("applicationId":"com.kadmir.tessaryn","versionName":"1.2.0",)"
                             R"("versionCode":10200,"packageUrl":"pkg/app.exe","sha256":")" +
                             Sha + "\"";
    return "{" + (members.isEmpty() ? valid : valid + "," + members) + "}";
}

QByteArray entry(const QByteArray& id, const QByteArray& extra = QByteArray()) {
    return R"({"applicationId":")" + id + R"(","versionName":"1","versionCode":1,)" +
           R"("packageUrl":"p","sha256":")" + Sha + "\"" + extra + "}";
}

UpdateManifest parse(const QByteArray& json, const std::string& target = std::string()) {
    return UpdateManifest::fromJson(json.toStdString(), ManifestUrl, target);
}

QByteArray failure(const QByteArray& json, const std::string& target = std::string()) {
    try {
        parse(json, target);
        return "parsed";
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
}

} // namespace

class UpdateManifestTest : public QObject {
    Q_OBJECT

private slots:
    void rejectsBadManifests_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("message");
        const QByteArray two = R"({"apps":{"a":)" + entry("a") + R"(,"b":)" + entry("b") + "}}";
        const QByteArray length = "Manifest sha256 checksum must be exactly 64 hex characters";
        const QByteArray code = "Manifest versionCode must be greater than zero";
        const QByteArray noUrl = "Manifest missing packageUrl, downloadUrl, or apkUrl";
        QTest::newRow("array root")
            << QByteArray("[]") << "" << QByteArray("Manifest JSON root must be an object");
        QTest::newRow("apps not object") << QByteArray(R"({"apps":[]})") << ""
                                         << QByteArray("'apps' in catalog must be an object");
        QTest::newRow("two apps, no target")
            << two << " "
            << QByteArray("Catalog contains 2 apps; targetIdOrSlug required for selection");
        QTest::newRow("no apps, no target")
            << QByteArray(R"({"apps":{}})") << ""
            << QByteArray("Catalog contains 0 apps; targetIdOrSlug required for selection");
        QTest::newRow("unknown target")
            << two << "  zz " << QByteArray("Application 'zz' not found in catalog");
        QTest::newRow("single app, other target")
            << QByteArray(R"({"apps":{"a":)" + entry("a") + "}}") << "b"
            << QByteArray("Application 'b' not found in catalog");
        QTest::newRow("selected node not object")
            << QByteArray(R"({"apps":{"a":[]}})") << "a"
            << QByteArray("Selected application node must be an object");
        QTest::newRow("only node not object")
            << QByteArray(R"({"apps":{"a":5}})") << ""
            << QByteArray("Selected application node must be an object");
        QTest::newRow("id missing") << QByteArray(R"({"versionName":"1"})") << ""
                                    << QByteArray("Manifest missing or empty applicationId");
        QTest::newRow("id not a string") << manifest(R"("applicationId":7)") << ""
                                         << QByteArray("Manifest missing or empty applicationId");
        QTest::newRow("name empty") << manifest(R"("versionName":"")") << ""
                                    << QByteArray("Manifest missing or empty versionName");
        QTest::newRow("code missing")
            << QByteArray(R"({"applicationId":"a","versionName":"1"})") << "" << code;
        QTest::newRow("code zero") << manifest(R"("versionCode":0)") << "" << code;
        QTest::newRow("code negative") << manifest(R"("versionCode":-3)") << "" << code;
        QTest::newRow("code as string") << manifest(R"("versionCode":"5")") << "" << code;
        QTest::newRow("code below one") << manifest(R"("versionCode":0.9)") << "" << code;
        QTest::newRow("no url") << QByteArray(
                                       R"({"applicationId":"a","versionName":"1","versionCode":1})")
                                << "" << noUrl;
        QTest::newRow("empty urls")
            << manifest(R"("packageUrl":"","downloadUrl":"","apkUrl":"")") << "" << noUrl;
        // Blank would resolve to the catalog's own folder.
        QTest::newRow("blank url") << manifest(R"("packageUrl":"  ")") << "" << noUrl;
        QTest::newRow("sha missing") << QByteArray(R"({"applicationId":"a","versionName":"1",)"
                                                   R"("versionCode":1,"apkUrl":"x"})")
                                     << "" << length;
        QTest::newRow("sha 63") << manifest("\"sha256\":\"" + Sha.left(63) + "\"") << "" << length;
        QTest::newRow("sha 65") << manifest("\"sha256\":\"" + Sha + "0\"") << "" << length;
        QTest::newRow("sha not hex")
            << manifest("\"sha256\":\"" + Sha.left(63) + "g\"") << ""
            << QByteArray("Manifest sha256 checksum contains non-hexadecimal character");
    }

    void rejectsBadManifests() {
        QFETCH(QByteArray, json);
        QFETCH(QString, target);
        QFETCH(QByteArray, message);
        QCOMPARE(failure(json, target.toStdString()), message);
    }

    void readsEveryField() {
        const UpdateManifest m = parse(manifest(
            R"("installerArgs":"/S /D=x","executableName":"Tessaryn.exe","arch":"arm64",)"
            R"("minOs":"Windows 11","sha256":"  ABCDEF0123456789abcdef0123456789abcdef0123456789abcdef0123456789 ",)"
            R"("sizeBytes":4096,"slug":"tess","title":"Tessaryn","pageUrl":"notes.html",)"
            R"("publishedAt":" 2025-01-02 ","releaseNotes":"Line\nTwo","installMode":"Binary")"));
        QCOMPARE(m.applicationId, std::string("com.kadmir.tessaryn"));
        QCOMPARE(m.versionName, std::string("1.2.0"));
        QCOMPARE(qint64(m.versionCode), qint64(10200));
        QCOMPARE(m.packageUrl, std::string("https://h.test/win/pkg/app.exe"));
        QCOMPARE(m.sha256,
                 std::string("abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789"));
        QCOMPARE(qint64(m.sizeBytes), qint64(4096));
        QVERIFY(m.installMode == InstallMode::BinaryCopy);
        QCOMPARE(m.installerArgs, std::string("/S /D=x"));
        QCOMPARE(m.executableName, std::string("Tessaryn.exe"));
        QCOMPARE(m.arch, std::string("arm64"));
        QCOMPARE(m.minOs, std::string("Windows 11"));
        QCOMPARE(m.slug, std::string("tess"));
        QCOMPARE(m.title, std::string("Tessaryn"));
        QCOMPARE(m.pageUrl, std::string("https://h.test/win/notes.html"));
        QCOMPARE(m.publishedAt, std::string(" 2025-01-02 "));
        QCOMPARE(m.releaseNotes, std::string("Line\nTwo"));
    }

    void appliesDefaults() {
        const UpdateManifest m =
            parse(manifest(R"("arch":"","minOs":"","pageUrl":"","sizeBytes":"9")"));
        QCOMPARE(m.arch, std::string("x86_64"));
        QCOMPARE(m.minOs, std::string("Windows 10 (64-bit)+"));
        QCOMPARE(qint64(m.sizeBytes), qint64(-1));
        QVERIFY(m.installMode == InstallMode::SetupInstaller);
        QVERIFY(m.pageUrl.empty());
        QVERIFY(m.installerArgs.empty() && m.slug.empty() && m.releaseNotes.empty());
    }

    void choosesInstallMode_data() {
        QTest::addColumn<QByteArray>("members");
        QTest::addColumn<bool>("binary");
        QTest::newRow("absent") << QByteArray(R"("x":0)") << false;
        QTest::newRow("binary") << QByteArray(R"("installMode":"binary")") << true;
        QTest::newRow("BINARYCOPY") << QByteArray(R"("installMode":"BINARYCOPY")") << true;
        QTest::newRow("installType BinaryCopy")
            << QByteArray(R"("installType":"BinaryCopy")") << true;
        QTest::newRow("copy") << QByteArray(R"("installMode":"copy")") << false;
        QTest::newRow("not trimmed") << QByteArray(R"("installMode":" binary")") << false;
        QTest::newRow("installMode wins")
            << QByteArray(R"("installMode":"setup","installType":"binary")") << false;
        QTest::newRow("empty mode falls back")
            << QByteArray(R"("installMode":"","installType":"binary")") << true;
        QTest::newRow("mistyped mode falls back")
            << QByteArray(R"("installMode":1,"installType":"binary")") << true;
    }

    void choosesInstallMode() {
        QFETCH(QByteArray, members);
        QFETCH(bool, binary);
        QCOMPARE(parse(manifest(members)).installMode == InstallMode::BinaryCopy, binary);
    }

    void packageUrlFallsBackInOrder() {
        QCOMPARE(parse(manifest(R"("packageUrl":"","downloadUrl":"d","apkUrl":"a")")).packageUrl,
                 std::string("https://h.test/win/d"));
        QCOMPARE(parse(manifest(R"("packageUrl":5,"downloadUrl":"","apkUrl":"/a")")).packageUrl,
                 std::string("https://h.test/a"));
    }

    void selectsFromCatalog_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("applicationId");
        QTest::newRow("exact key") << "com.kadmir.tessaryn"
                                   << "com.kadmir.tessaryn";
        QTest::newRow("trimmed key") << " com.kadmir.tessaryn\t"
                                     << "com.kadmir.tessaryn";
        QTest::newRow("debug target finds release key") << "com.kadmir.tessaryn.debug"
                                                        << "com.kadmir.tessaryn";
        QTest::newRow("key before slug") << "tess"
                                         << "org.keyed";
        QTest::newRow("slug") << "beta"
                              << "org.beta";
        QTest::newRow("application id") << "org.beta"
                                        << "org.beta";
        QTest::newRow("debug target, release id") << "org.beta.debug"
                                                  << "org.beta";
        QTest::newRow("release target, debug id") << "org.gamma"
                                                  << "org.gamma.debug";
        // Keys are scanned in byte order, not document order.
        QTest::newRow("first key in byte order") << "dup"
                                                 << "first";
    }

    void selectsFromCatalog() {
        QFETCH(QString, target);
        QFETCH(QString, applicationId);
        const QByteArray json = R"({"apps":{"zz":)" + entry("second", R"(,"slug":"dup")") +
                                R"(,"com.kadmir.tessaryn":)" +
                                entry("com.kadmir.tessaryn", R"(,"slug":"tess")") + R"(,"b-key":)" +
                                entry("org.beta", R"(,"slug":"beta")") + R"(,"A":5,"tess":)" +
                                entry("org.keyed") + R"(,"c-key":)" + entry("org.gamma.debug") +
                                R"(,"aa":)" + entry("first", R"(,"slug":"dup")") + "}}";
        QCOMPARE(QString::fromStdString(parse(json, target.toStdString()).applicationId),
                 applicationId);
    }

    void singleCatalogEntryNeedsNoTarget() {
        const QByteArray json =
            R"({"baseUrl":"https://cdn.test/rel/","apps":{"only":)" + entry("x") + "}}";
        const UpdateManifest m = parse(json);
        QCOMPARE(m.applicationId, std::string("x"));
        QCOMPARE(m.packageUrl, std::string("https://cdn.test/rel/p"));
        // A mistyped baseUrl is ignored in favour of the catalog's own location.
        QCOMPARE(parse(R"({"baseUrl":1,"apps":{"only":)" + entry("x") + "}}").packageUrl,
                 std::string("https://h.test/win/p"));
    }

    void resolvesUrls_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("resolved");
        QTest::newRow("folder base") << "https://cdn.test/win/"
                                     << "pkg/app.exe"
                                     << "https://cdn.test/win/pkg/app.exe";
        QTest::newRow("file base") << "https://cdn.test/win/version.json"
                                   << "pkg/app.exe"
                                   << "https://cdn.test/win/pkg/app.exe";
        QTest::newRow("rooted") << "https://cdn.test/win/version.json"
                                << "/dl/app.exe"
                                << "https://cdn.test/dl/app.exe";
        QTest::newRow("rooted, bare origin") << "https://cdn.test"
                                             << "/dl/a"
                                             << "https://cdn.test/dl/a";
        QTest::newRow("relative, bare origin") << "https://cdn.test"
                                               << "a.exe"
                                               << "https://cdn.test/a.exe";
        QTest::newRow("absolute https") << "https://cdn.test/"
                                        << " https://o.test/x "
                                        << "https://o.test/x";
        QTest::newRow("absolute http") << "https://cdn.test/"
                                       << "http://o.test/x"
                                       << "http://o.test/x";
        QTest::newRow("scheme is case-sensitive") << "https://c.test/"
                                                  << "HTTPS://o"
                                                  << "https://c.test/HTTPS://o";
        QTest::newRow("empty base")
            << ""
            << "a.exe" << QString(UpdateManifest::DefaultCatalogBaseUrl) + "a.exe";
        QTest::newRow("rooted, base without scheme") << "dir/version.json"
                                                     << "/abs"
                                                     << "/abs";
        QTest::newRow("base without slash") << "plain"
                                            << "f"
                                            << "plain/f";
    }

    void resolvesUrls() {
        QFETCH(QString, base);
        QFETCH(QString, url);
        QFETCH(QString, resolved);
        QCOMPARE(QString::fromStdString(
                     UpdateManifest::resolveRelativeUrl(base.toStdString(), url.toStdString())),
                 resolved);
    }

    void normalizesIdsAndManifestUrls() {
        const std::string catalog =
            std::string(UpdateManifest::DefaultCatalogBaseUrl) + "version.json";
        QVERIFY(catalog.rfind("https://", 0) == 0);
        QCOMPARE(UpdateManifest::normalizeManifestUrl(" \n"), catalog);
        QCOMPARE(UpdateManifest::normalizeManifestUrl(" https://a.test/b/ "),
                 std::string("https://a.test/b/version.json"));
        QCOMPARE(UpdateManifest::normalizeManifestUrl("https://a.test/v.json "),
                 std::string("https://a.test/v.json"));
        QCOMPARE(UpdateManifest::normalizeApplicationId(" com.a.debug\n"), std::string("com.a"));
        QCOMPARE(UpdateManifest::normalizeApplicationId("x.debug"), std::string("x"));
        QCOMPARE(UpdateManifest::normalizeApplicationId(".debug"), std::string(".debug"));
        QCOMPARE(UpdateManifest::normalizeApplicationId("com.a.DEBUG"), std::string("com.a.DEBUG"));
        QCOMPARE(UpdateManifest::normalizeApplicationId("a.debug.debug"), std::string("a.debug"));
    }

    void parsesVersionCodes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("code");
        QTest::newRow("1.1.0") << "1.1.0" << qint64(10100);
        QTest::newRow("v prefix, label") << "v2.3.4-beta" << qint64(20304);
        QTest::newRow("empty") << "" << qint64(0);
        QTest::newRow("major only") << " V1 " << qint64(10000);
        QTest::newRow("minor spills") << "1.123" << qint64(22300);
        QTest::newRow("fourth part ignored") << "1.2.3.4" << qint64(10203);
        QTest::newRow("non-digit part") << "1.x.3" << qint64(10003);
        QTest::newRow("digit run") << "1.2b.3" << qint64(10203);
        QTest::newRow("second v") << "vv1" << qint64(0);
        QTest::newRow("label only") << "-1.2" << qint64(0);
        QTest::newRow("saturates")
            << "99999999999999999999.1" << std::numeric_limits<qint64>::max();
    }

    void parsesVersionCodes() {
        QFETCH(QString, name);
        QFETCH(qint64, code);
        QCOMPARE(qint64(UpdateManifest::parseVersionCode(name.toStdString())), code);
    }

    void comparesVersions_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("padding") << "1.2"
                                 << "1.2.0" << 0;
        QTest::newRow("numeric parts") << "1.10.0"
                                       << "1.9.9" << 1;
        QTest::newRow("pre-release older") << "2.0.0-beta"
                                           << "2.0.0" << -1;
        QTest::newRow("labels") << "2.0.0-alpha"
                                << "2.0.0-beta" << -1;
        QTest::newRow("V prefix") << " V1.0"
                                  << "1.0" << 0;
        QTest::newRow("same") << "1.0.0"
                              << "1.0.0" << 0;
        QTest::newRow("fourth part counts") << "1.0.0.1"
                                            << "1.0.0" << 1;
        QTest::newRow("empty against zero") << ""
                                            << "0" << 0;
        QTest::newRow("empty against patch") << ""
                                             << "0.0.1" << -1;
        QTest::newRow("leading zeros") << "1.01"
                                       << "1.1" << 0;
        QTest::newRow("same label") << "1.2.3-rc"
                                    << "1.2.3-rc" << 0;
        QTest::newRow("label prefix first") << "1.2.3-rc"
                                            << "1.2.3-rc.1" << -1;
        QTest::newRow("empty label") << "1.2.3-"
                                     << "1.2.3" << -1;
        QTest::newRow("labels by bytes") << "1-b"
                                         << "1-B" << 1;
        QTest::newRow("beyond 64 bits") << "12345678901234567890.0"
                                        << "12345678901234567889.9" << 1;
        QTest::newRow("letters count as 0") << "1.a"
                                            << "1.0" << 0;
        QTest::newRow("longer number") << "10"
                                       << "9" << 1;
    }

    void comparesVersions() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(UpdateManifest::compareVersions(a.toStdString(), b.toStdString()), order);
        QCOMPARE(UpdateManifest::compareVersions(b.toStdString(), a.toStdString()), -order);
    }

    void decidesNewer_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QString>("installedName");
        QTest::addColumn<qint64>("installedCode");
        QTest::addColumn<bool>("newer");
        QTest::newRow("same build") << "1.0.0" << qint64(3) << "1.0.0" << qint64(3) << false;
        QTest::newRow("same name, later build")
            << "1.0.0" << qint64(4) << "1.0.0" << qint64(3) << true;
        QTest::newRow("same name, earlier build")
            << "1.0.0" << qint64(2) << "1.0.0" << qint64(3) << false;
        QTest::newRow("newer name, lower code")
            << "1.0.1" << qint64(1) << "1.0.0" << qint64(999) << true;
        QTest::newRow("older name, higher code")
            << "0.9" << qint64(999) << "1.0.0" << qint64(1) << false;
        QTest::newRow("same name, no installed code")
            << "1.0.0" << qint64(5) << "1.0.0" << qint64(0) << false;
        QTest::newRow("no installed name") << "1.0.0" << qint64(5) << "" << qint64(3) << true;
        QTest::newRow("no installed name, same code")
            << "1.0.0" << qint64(3) << "" << qint64(3) << false;
        QTest::newRow("pre-release of installed")
            << "1.0.0-beta" << qint64(9) << "1.0.0" << qint64(1) << false;
        QTest::newRow("release of installed pre-release")
            << "1.0.0" << qint64(1) << "1.0.0-beta" << qint64(9) << true;
        QTest::newRow("no manifest name") << "" << qint64(5) << "1.0.0" << qint64(3) << true;
    }

    void decidesNewer() {
        QFETCH(QString, name);
        QFETCH(qint64, code);
        QFETCH(QString, installedName);
        QFETCH(qint64, installedCode);
        QFETCH(bool, newer);
        UpdateManifest m;
        m.versionName = name.toStdString();
        m.versionCode = code;
        QCOMPARE(m.isNewerThan(installedName.toStdString(), installedCode), newer);
    }
};

QTEST_GUILESS_MAIN(UpdateManifestTest)
#include "tst_updatemanifest.moc"
