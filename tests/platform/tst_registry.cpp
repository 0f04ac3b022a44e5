#include "registry.h"
#include "peresources.h"
#include "sandbox.h"

#include <QFile>
#include <QScopedPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QString company = QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan");
const QString pvxSettings = company + QStringLiteral("\\NimbraPVX\\Settings");

QSettings *open(const QString &path)
{
    return platform::openRegistry(path);
}

sandbox::Run regtool(const QStringList &arguments)
{
    return sandbox::run(sandbox::helperProgram(QStringLiteral("regtool")), arguments);
}

} // namespace

class TstRegistry : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void hiveFilesWhereExpected();
    void overlappingViewsInOneProcess();
    void overlappingViewsAcrossProcesses();
    void removingKeyRemovesSubKeys();
    void removingKeyAcrossProcesses();
    void unreadableHiveIsNeverWritten_data();
    void unreadableHiveIsNeverWritten();
};

void TstRegistry::cleanup()
{
    sandbox::clearRegistry();
}

void TstRegistry::hiveFilesWhereExpected()
{
    {
        QScopedPointer<QSettings> user(open(pvxSettings));
        QScopedPointer<QSettings> machine(open(QStringLiteral(
            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")));
        user->setValue(QStringLiteral("InstallDir"), QStringLiteral("C:\\Program Files\\x"));
        machine->setValue(QStringLiteral("NimbraPVX"), QStringLiteral("\"c.exe\" RegAutoRun"));
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const auto hive = [&](const char *name) {
        QFile file(config + QStringLiteral("/winreg/") + QLatin1String(name) + QStringLiteral(".json"));
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).object();
    };
    const QJsonObject userFile = hive("HKEY_CURRENT_USER");
    const QJsonObject machineFile = hive("HKEY_LOCAL_MACHINE");
    QCOMPARE(userFile.value(QStringLiteral("Software/Quorlan/NimbraPVX/Settings/InstallDir")).toString(),
             QStringLiteral("C:\\Program Files\\x"));
    QCOMPARE(machineFile.value(QStringLiteral("Software/Microsoft/Windows/CurrentVersion/Run/NimbraPVX")).toString(),
             QStringLiteral("\"c.exe\" RegAutoRun"));
    // Hives do not mix.
    QVERIFY(!userFile.contains(QStringLiteral("Software/Microsoft/Windows/CurrentVersion/Run/NimbraPVX")));
}

void TstRegistry::overlappingViewsInOneProcess()
{
    QScopedPointer<QSettings> outer(open(company));
    QScopedPointer<QSettings> inner(open(pvxSettings));
    QScopedPointer<QSettings> hive(open(QStringLiteral("HKEY_CURRENT_USER")));

    inner->setValue(QStringLiteral("InstallDir"), QStringLiteral("D:/a"));
    QCOMPARE(outer->value(QStringLiteral("NimbraPVX/Settings/InstallDir")).toString(), QStringLiteral("D:/a"));
    QCOMPARE(hive->value(QStringLiteral("Software/Quorlan/NimbraPVX/Settings/InstallDir")).toString(),
             QStringLiteral("D:/a"));

    outer->setValue(QStringLiteral("NimbraPVX/Settings/Language"), QStringLiteral("en_us"));
    QCOMPARE(inner->value(QStringLiteral("Language")).toString(), QStringLiteral("en_us"));

    // A view opened later, before anything was written to disk, sees the same.
    QScopedPointer<QSettings> late(open(pvxSettings));
    QCOMPARE(late->value(QStringLiteral("Language")).toString(), QStringLiteral("en_us"));
    QCOMPARE(outer->childGroups(), QStringList{QStringLiteral("NimbraPVX")});
}

void TstRegistry::overlappingViewsAcrossProcesses()
{
    const QString path = QStringLiteral("C:\\Program Files\\NimbraPVX\\1.0.12345");
    QCOMPARE(regtool({"set", pvxSettings, "InstallDir", path}).exitCode, 0);
    {
        QScopedPointer<QSettings> outer(open(company));
        QCOMPARE(outer->value(QStringLiteral("NimbraPVX/Settings/InstallDir")).toString(), path);
        outer->setValue(QStringLiteral("NimbraPVX/Settings/ThirdPart"), QStringLiteral("OKARender"));
    }
    QCOMPARE(regtool({"get", pvxSettings, "ThirdPart"}).out, QByteArray("OKARender"));
    QCOMPARE(regtool({"get", company, "NimbraPVX/Settings/InstallDir"}).out, path.toUtf8());

    // A view that stays open picks up another process's write when it syncs.
    QScopedPointer<QSettings> open_(open(pvxSettings));
    QCOMPARE(regtool({"set", pvxSettings, "Language", "zh_cn"}).exitCode, 0);
    open_->sync();
    QCOMPARE(open_->value(QStringLiteral("Language")).toString(), QStringLiteral("zh_cn"));
}

void TstRegistry::removingKeyRemovesSubKeys()
{
    QScopedPointer<QSettings> outer(open(company));
    outer->setValue(QStringLiteral("NimbraPVX/Settings/InstallDir"), QStringLiteral("x"));
    outer->setValue(QStringLiteral("NimbraPVX/Settings/Deep/Deeper/v"), 1);
    outer->setValue(QStringLiteral("NimbraPVX/Other/v"), 2);
    outer->setValue(QStringLiteral("NimbraPVXSibling/v"), 3);
    outer->setValue(QStringLiteral("NimbraKW/Settings/InstallDir"), QStringLiteral("y"));

    outer->remove(QStringLiteral("NimbraPVX"));

    QScopedPointer<QSettings> inner(open(pvxSettings));
    QVERIFY(inner->allKeys().isEmpty());
    QCOMPARE(outer->childGroups(), (QStringList{"NimbraKW", "NimbraPVXSibling"}));
    QCOMPARE(outer->value(QStringLiteral("NimbraKW/Settings/InstallDir")).toString(), QStringLiteral("y"));
}

void TstRegistry::removingKeyAcrossProcesses()
{
    {
        QScopedPointer<QSettings> outer(open(company));
        outer->setValue(QStringLiteral("NimbraKW/Settings/InstallDir"), QStringLiteral("x"));
        outer->setValue(QStringLiteral("NimbraKW/Settings/Sub/v"), 1);
        outer->setValue(QStringLiteral("Orvix/Settings/InstallDir"), QStringLiteral("z"));
    }
    QCOMPARE(regtool({"remove", company, "NimbraKW"}).exitCode, 0);
    QScopedPointer<QSettings> outer(open(company));
    QCOMPARE(outer->childGroups(), QStringList{QStringLiteral("Orvix")});
    QCOMPARE(regtool({"get", company, "NimbraKW/Settings/Sub/v"}).out, QByteArray());
}

void TstRegistry::unreadableHiveIsNeverWritten_data()
{
    QTest::addColumn<QByteArray>("hive");
    const QByteArray whole = "{\n    \"Software/Other/Vendor/Value\": \"kept\"\n}\n";
    QTest::newRow("cut-off") << whole.left(whole.size() / 2);
    QTest::newRow("trailing-comma") << QByteArray(whole).replace("\"kept\"", "\"kept\",");
    QTest::newRow("invalid-utf8") << QByteArray(whole).replace("kept", "k\xff\xfe");
    QTest::newRow("deep-nesting") << QByteArray(2000, '[') + QByteArray(2000, ']');
}

// Written, a hive read as empty would lose every value in it, other vendors' too: the
// change fails and the file stays as it was, in another process as in this one.
void TstRegistry::unreadableHiveIsNeverWritten()
{
    QFETCH(QByteArray, hive);
    const QString file = platform::registryFile(QStringLiteral("HKEY_CURRENT_USER"));
    sandbox::writeFile(file, hive);
    QCOMPARE(regtool({"set", pvxSettings, "InstallDir", "x"}).exitCode, 1);
    QCOMPARE(fileBytes(file), hive);
}

QTEST_GUILESS_MAIN(TstRegistry)
#include "tst_registry.moc"
