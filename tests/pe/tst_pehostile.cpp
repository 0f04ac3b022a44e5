#include "bytes.h"
#include "rebrand.h"
#include "resourcetree.h"
#include "versioninfo.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

namespace {

const QString fixtureDir = QStringLiteral(PE_FIXTURE_DIR);

pe::Bytes readBytes(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    return pe::Bytes(bytes.begin(), bytes.end());
}

void writeBytes(const QString &path, const pe::Bytes &bytes)
{
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
}

std::filesystem::path fsPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Where the fixture keeps its headers and its resource section.
struct Layout
{
    std::size_t pe, optional, rsrcHeader, rsrcData;
};

Layout layoutOf(const pe::Bytes &file)
{
    pe::Reader r(file);
    Layout l{};
    l.pe = r.u32(0x3C);
    l.optional = l.pe + 24;
    const std::size_t table = l.optional + r.u16(l.pe + 20);
    for (int i = 0; i < r.u16(l.pe + 6); ++i) {
        const std::size_t h = table + 40 * std::size_t(i);
        if (std::string(reinterpret_cast<const char *>(file.data() + h), 5) == ".rsrc") {
            l.rsrcHeader = h;
            l.rsrcData = r.u32(h + 20);
        }
    }
    return l;
}

// A PE32 image of headers and one resource section: its header at peAt, its optional
// header sizeOfOptional long, its resources (one icon) at rawOffset.
pe::Bytes syntheticPe(std::size_t peAt, std::uint16_t sizeOfOptional, int sections, std::uint32_t rawOffset,
                      std::uint32_t sizeOfHeaders)
{
    pe::ResourceTree tree;
    tree[pe::ResourceId(pe::rtIcon)][pe::ResourceId(1)][1033].data = pe::Bytes(16, 7);
    const std::uint32_t rva = 0x1000;
    const pe::Bytes resources = pe::buildResources(tree, rva);
    pe::Bytes file(std::max<std::size_t>(peAt + 24 + 224 + 40, rawOffset + resources.size()), 0);
    pe::put16(file, 0, 0x5A4D);
    pe::put32(file, 0x3C, std::uint32_t(peAt));
    pe::put32(file, peAt, 0x4550);
    pe::put16(file, peAt + 4, 0x14C);
    pe::put16(file, peAt + 6, std::uint16_t(sections));
    pe::put16(file, peAt + 20, sizeOfOptional);
    const std::size_t optional = peAt + 24;
    pe::put16(file, optional, 0x10B);
    pe::put32(file, optional + 32, 0x1000);
    pe::put32(file, optional + 36, 0x200);
    pe::put32(file, optional + 56, 0x2000);
    pe::put32(file, optional + 60, sizeOfHeaders);
    pe::put32(file, optional + 92, 16);
    if (sections) {
        pe::put32(file, optional + 96 + 16, rva);
        pe::put32(file, optional + 96 + 20, std::uint32_t(resources.size()));
        const std::size_t header = optional + 224;
        std::copy_n(".rsrc", 5, file.begin() + header);
        pe::put32(file, header + 8, std::uint32_t(resources.size()));
        pe::put32(file, header + 12, rva);
        pe::put32(file, header + 16, std::uint32_t(resources.size()));
        pe::put32(file, header + 20, rawOffset);
        std::copy(resources.begin(), resources.end(), file.begin() + rawOffset);
    }
    return file;
}

// Three directory levels whose every entry points at the same next level: n^3 paths,
// each ending at the same valid data entry.
void shareSubtrees(pe::Bytes &file, const Layout &l, std::uint32_t n)
{
    const std::uint32_t level = 16 + 8 * n;
    for (std::uint32_t d = 0; d < 3; ++d) {
        const std::size_t at = l.rsrcData + d * level;
        std::fill(file.begin() + at, file.begin() + at + level, 0);
        pe::put16(file, at + 14, std::uint16_t(n));
        for (std::uint32_t i = 0; i < n; ++i) {
            pe::put32(file, at + 16 + 8 * i, i + 1);
            pe::put32(file, at + 20 + 8 * i, d < 2 ? (0x80000000u | ((d + 1) * level)) : 3 * level);
        }
    }
    const std::size_t entry = l.rsrcData + 3 * level;
    std::fill(file.begin() + entry, file.begin() + entry + 16, 0);
    pe::put32(file, entry, pe::Reader(file).u32(l.rsrcHeader + 12));
    pe::put32(file, entry + 4, 16);
}

// A version block of nodes nested depth deep, each holding only the next.
pe::Bytes nestedVersionBlock(int depth)
{
    pe::Bytes block;
    for (int i = 0; i < depth; ++i) {
        pe::append16(block, std::uint16_t(8 * (depth - i)));
        pe::append16(block, 0);
        pe::append16(block, 1);
        pe::append16(block, 0);
    }
    return block;
}

} // namespace

// Damaged and crafted executables end in the usual failure (false or 0) with the file
// unchanged, and never read or write outside their buffers.
class TstPeHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void craftedExecutable_data();
    void craftedExecutable();
    void deepVersionBlock();
    void damagedCopies();

private:
    pe::Bytes client;
    QString icon;
};

void TstPeHostile::initTestCase()
{
    client = readBytes(fixtureDir + QStringLiteral("/client.exe"));
    icon = fixtureDir + QStringLiteral("/seven32.ico");
    if (client.empty())
        QSKIP("no PE fixtures (mingw-w64 missing)");
}

void TstPeHostile::craftedExecutable_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("resources-before-pe-header") << "rsrc-at-0x40";
    QTest::newRow("optional-header-ffff-no-sections") << "optional-ffff";
    QTest::newRow("shared-subtrees") << "shared";
    QTest::newRow("cut-in-half") << "cut";
    QTest::newRow("description-beyond-64k") << "long";
    QTest::newRow("read-only") << "read-only";
}

void TstPeHostile::craftedExecutable()
{
    QFETCH(QString, damage);
    pe::Bytes bytes = client;
    const Layout l = layoutOf(bytes);
    QVERIFY(l.rsrcHeader);
    std::u16string description = u"渲染云";
    // The resource section is the last one, so it is rewritten where it is: before the
    // headers, which a rewrite would cut off.
    if (damage == QLatin1String("rsrc-at-0x40"))
        bytes = syntheticPe(0x1000, 224, 1, 0x40, 0x40);
    if (damage == QLatin1String("optional-ffff"))
        bytes = syntheticPe(0x80, 0xFFFF, 0, 0x400, 0xFFFFFFFF);
    if (damage == QLatin1String("shared"))
        shareSubtrees(bytes, l, 60);
    if (damage == QLatin1String("cut"))
        bytes.resize(bytes.size() / 2);
    if (damage == QLatin1String("long"))
        description = std::u16string(40000, u'云');
    const QString exe = QDir::tempPath() + QLatin1Char('/') + QTest::currentDataTag() + QStringLiteral(".exe");
    writeBytes(exe, bytes);
    if (damage == QLatin1String("read-only"))
        QFile::setPermissions(exe, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    const auto quiet = [](const std::string &) {};
    QCOMPARE(pe::changeFileInfo(fsPath(exe), description, quiet), 0);
    if (damage != QLatin1String("long"))
        pe::changeExeIcon(fsPath(icon), fsPath(exe), quiet);
    QVERIFY2(readBytes(exe) == bytes, "the executable changed");
    if (damage == QLatin1String("long")) {
        QCOMPARE(pe::changeFileInfo(fsPath(exe), u"渲染云 客户端", quiet), 1);
        QCOMPARE(pe::changeFileInfo(fsPath(exe), std::u16string(30000, u'云'), quiet), 1);
    }
}

void TstPeHostile::deepVersionBlock()
{
    const pe::Bytes block = nestedVersionBlock(5000);
    pe::VersionNode root;
    QVERIFY(!pe::parseVersionInfo(block.data(), block.size(), &root));
    QVERIFY(pe::parseVersionInfo(nestedVersionBlock(4).data(), 32, &root));
}

// Thousands of copies of the client with a few bytes flipped, mostly in the headers
// and the resources, for PE_FUZZ_SECONDS (5 without it).
void TstPeHostile::damagedCopies()
{
    const qint64 budgetMs = 1000 * qEnvironmentVariableIntValue("PE_FUZZ_SECONDS") ?: 5000;
    const Layout l = layoutOf(client);
    const std::size_t hot = l.rsrcData + 4096;
    QRandomGenerator random(20261207);
    const QString exe = QDir::tempPath() + QStringLiteral("/fuzzed.exe");
    const auto quiet = [](const std::string &) {};
    QElapsedTimer clock;
    clock.start();
    int copies = 0;
    for (; clock.elapsed() < budgetMs; ++copies) {
        pe::Bytes bytes = client;
        for (int flips = 1 + random.bounded(8); flips > 0; --flips) {
            const std::size_t at = random.bounded(2) ? random.bounded(quint32(std::min(hot, bytes.size())))
                                                     : random.bounded(quint32(bytes.size()));
            bytes[at] = std::uint8_t(random.bounded(256));
        }
        writeBytes(exe, bytes);
        pe::changeFileInfo(fsPath(exe), u"渲染云", quiet);
        pe::changeExeIcon(fsPath(icon), fsPath(exe), quiet);
    }
    qInfo("%d damaged copies", copies);
}

QTEST_GUILESS_MAIN(TstPeHostile)
#include "tst_pehostile.moc"
