#include "clientplacement.h"

#include "changelog.h"
#include "clientlayout.h"
#include "edition.h"
#include "files.h"
#include "hostfolders.h"
#include "pathremoval.h"
#include "rebranding.h"
#include "registry.h"
#include "rights.h"
#include "versiontext.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopedPointer>
#include <QSettings>

namespace {

// The client's name inside every package and release.
const char shippedClient[] = "NimbraPVX.exe";
const char unfinishedMark[] = ".unfinished";
// What a version folder is renamed to while it is being removed.
const char removingSuffix[] = ".removing";
// What runs with administrator rights, and what tells it where to go, in every version folder.
const char *const closedNames[] = {"update.exe", "update", "uninstall.exe", "ZQ.ini", "service.ini"};
const char runKey[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

QString inDir(const QString &dir, const QString &name)
{
    return dir + QDir::separator() + name;
}

QSettings *openRun()
{
    return platform::openRegistry(QLatin1String(runKey));
}

// Replaces whatever is at a shortcut's path; false when the link is not there after.
bool relink(const QString &target, const QString &link)
{
    helpers::removePath(link);
    return ChangeLog::link(target, link);
}

QByteArray madeBy()
{
    return "made-by=" + QCoreApplication::applicationName().toUtf8() + '\n';
}

// The mark lives in a folder of ours that nobody else may change, but it is still never
// opened through a link.
QByteArray readMark(const QString &dir)
{
    QFile mark;
    return platform::openNoFollow(mark, inDir(dir, QLatin1String(unfinishedMark)), platform::OpenAs::Read)
               ? mark.read(4096)
               : QByteArray();
}

bool writeMark(const QString &dir, const QByteArray &text)
{
    const QString path = inDir(dir, QLatin1String(unfinishedMark));
    platform::removeFile(path);
    QFile mark;
    return platform::openNoFollow(mark, path, platform::OpenAs::Create) && mark.write(text) == text.size()
           && mark.flush();
}

// What another user may have put where a run makes its own folder is moved aside
// without being entered: nothing of theirs is read, written or removed.
bool setAside(const QString &path)
{
    const QString aside = path + QStringLiteral(".aside-")
                          + QString::number(QRandomGenerator::global()->generate(), 16);
    const bool moved = platform::renameFile(path, aside);
    ChangeLog::record("remove", "dir", path, moved);
    ChangeLog::record("write", "dir", aside, moved);
    return moved;
}

qint64 kilobytesIn(const QString &dir)
{
    qint64 bytes = 0;
    QDirIterator it(QDir::fromNativeSeparators(dir), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!it.fileInfo().isSymLink())
            bytes += it.fileInfo().size();
    }
    return (bytes + 1023) / 1024;
}

bool isServing(const QString &dir)
{
    return QFileInfo(dir).isDir() && !QFileInfo(dir).isSymLink() && platform::isOwn(dir);
}

// A version folder of ours in the product folder goes. Renamed first to a name no record
// names ("<name>.removing"), it is never kept, reused or rolled back to half removed, and a
// removal cut off is finished by a later run. False while anything of it is left.
bool retire(const QString &dir, const QString &product)
{
    const QString folder = QDir::fromNativeSeparators(dir);
    if (QFileInfo(folder).absolutePath() != product)
        return true;  // not ours to remove: only forgotten
    const QString removing = folder + QLatin1String(removingSuffix);
    if (isServing(folder)) {
        // A name an earlier folder of the same name left behind.
        if (QFileInfo::exists(removing) && platform::isOwn(removing))
            ChangeLog::removeTree(removing);
        if (!platform::renameFile(folder, removing)) {
            ChangeLog::record("remove", "dir", folder, false);
            return false;
        }
        ChangeLog::record("remove", "dir", folder, true);
        ChangeLog::record("write", "dir", removing, true);
    }
    const QFileInfo left(removing);
    if (!left.exists() || left.isSymLink() || !platform::isOwn(removing))
        return true;
    return ChangeLog::removeTree(removing);
}

} // namespace

QString Placement::displayName() const
{
    return chinese() ? client.name : client.nameEN;
}

QString Placement::clientExe() const
{
    return inDir(dir, client.exe);
}

QString Placement::uninstallExe() const
{
    return inDir(dir, QStringLiteral("uninstall.exe"));
}

namespace placement {

QString shippedClientName()
{
    return QLatin1String(shippedClient);
}

// A name that is no plain file name would move the client out of its folder: it fails
// as a rename does.
Outcome nameClient(const Placement &p)
{
    const QString shipped = inDir(p.dir, QLatin1String(shippedClient));
    const QString client = p.clientExe();
    if (shipped == client)
        return Outcome::Done;
    if (!isPlainFileName(p.client.exe))
        return Outcome::RenameFailed;
    const bool shippedThere = QFileInfo(shipped).isFile();
    if (!shippedThere)
        return QFileInfo(client).isFile() ? Outcome::Done : Outcome::RenameFailed;
    if (QFileInfo::exists(client) && !ChangeLog::removeFile(client))
        return Outcome::RenameFailed;
    return ChangeLog::renameFile(shipped, client) ? Outcome::Done : Outcome::RenameFailed;
}

Outcome brandClient(const Placement &p, const QString &iconSource)
{
    const QString icon = inDir(p.dir, QStringLiteral("ZQ.ico"));
    if (!iconSource.isEmpty() && !QFileInfo::exists(icon))
        ChangeLog::copyFile(iconSource, icon);
    if (p.client.third.isEmpty())
        return Outcome::Done;
    const QString client = p.clientExe();
    // Branded when it was built, and signed after: rewriting it would void the signature.
    if (helpers::carriesBranding(icon, client, p.displayName())) {
        p.reporter->tell(QStringLiteral("The client already carries this edition's icon and name: left as it is."));
        return Outcome::Done;
    }
    if (!helpers::changeExeIcon(icon, client))
        return Outcome::IconFailed;
    helpers::changeFileInfo(client, p.displayName());
    return Outcome::Done;
}

// Earlier shortcuts go: those of a partner's own folder and of this edition's. The
// updater also takes away the partner's folder they leave empty. A name that is no
// plain file name touches no shortcut at all.
Outcome placeShortcuts(const Placement &p)
{
    const QString name = p.displayName();
    if (!name.isEmpty() && !isPlainFileName(name)) {
        p.reporter->tell(QStringLiteral("No shortcuts: the display name \"%1\" is not a plain file name.").arg(name));
        return Outcome::Done;
    }
    const QString startMenu = helpers::startMenuPath();
    const ClientShortcuts shortcuts =
        clientShortcuts(startMenu, helpers::desktopPath(), name, p.client.third, p.chinese());
    if (!name.isEmpty()) {
        const QString partnerFolder = startMenu + QLatin1Char('/') + name;
        for (const QString &folder : {partnerFolder, shortcuts.folder}) {
            const ClientShortcuts old = shortcutsIn(folder, name, p.chinese());
            helpers::removePath(old.start);
            helpers::removePath(old.uninstall);
        }
        if (p.kind == Placement::Kind::Update && partnerFolder != shortcuts.folder)
            helpers::removeIfEmpty(partnerFolder);
    }
    bool ok = true;
    if (p.startMenu) {
        ok = ChangeLog::makeDir(shortcuts.folder) && relink(p.clientExe(), shortcuts.start)
             && relink(p.uninstallExe(), shortcuts.uninstall);
    }
    ok = relink(p.clientExe(), shortcuts.desktop) && ok;
    return ok ? Outcome::Done : Outcome::WriteFailed;
}

Outcome registerClient(const Placement &p)
{
    const QString client = QDir::toNativeSeparators(p.clientExe());
    const QString dir = QDir::toNativeSeparators(p.dir);
    bool ok = true;
    if (isPlainFileName(p.client.exe)) {
        QScopedPointer<QSettings> run(openRun());
        const bool wanted = p.kind == Placement::Kind::Install ? p.autorun : run->contains(p.client.exe);
        if (wanted)
            ok = ChangeLog::setValue(run.data(), p.client.exe, autorunData(client));
    }
    const bool whole = p.kind == Placement::Kind::Install;
    const UninstallEntry entry{p.displayName(), QDir::toNativeSeparators(p.uninstallExe()), dir, p.version, client,
                               kilobytesIn(p.dir)};
    ok = ok && writeUninstallEntry(p.client, entry, whole);
    // An account that did not install the client gets no record of it: the machine's serves.
    ok = ok && ((!whole && !p.client.userRecord) || writeClientRecord(p.client, dir, whole));
    ok = ok && (!whole || writePinnedKey(p.client));
    ok = ok && writeMachineConfig(p.client);
    return ok ? Outcome::Done : Outcome::RegistryFailed;
}

Outcome recordVersion(const Placement &p)
{
    return PlacedVersions(p.client.registryKey).place({p.version, p.dir}) ? Outcome::Done : Outcome::RegistryFailed;
}

Outcome putInPlace(const Placement &p)
{
    Outcome step = registerClient(p);
    if (step == Outcome::Done)
        step = recordVersion(p);
    if (step == Outcome::Done)
        step = placeShortcuts(p);
    if (step == Outcome::Done)
        step = openToAllUsers(p);
    return step;
}

void adoptInstallation(const ClientConfig &client)
{
    const PlacedVersions record(client.registryKey);
    const UninstallEntry entry = readUninstallEntry(client);
    if (!record.all().isEmpty() || entry.installDir.isEmpty() || entry.displayVersion.isEmpty()
        || !isServing(QDir::fromNativeSeparators(entry.installDir)))
        return;
    record.place({entry.displayVersion, entry.installDir});
}

void removeOlderVersions(const Placement &p)
{
    const PlacedVersions record(p.client.registryKey);
    const QList<PlacedVersion> placed = record.all();
    const int keep = record.keep();
    const QString product = QFileInfo(QDir::fromNativeSeparators(p.dir)).absolutePath();
    QStringList versionsKept{p.version};
    for (int i = placed.size() - 1; i >= 0; --i) {
        const PlacedVersion &v = placed[i];
        if (v.dir == p.dir)
            continue;
        const bool serving = isServing(QDir::fromNativeSeparators(v.dir));
        if (serving && (keep == 0 || (versionsKept.size() < keep && !versionsKept.contains(v.version)))) {
            versionsKept.append(v.version);
            continue;
        }
        if (retire(v.dir, product))
            record.forget(v.dir);
    }
}

QList<PlacedVersion> keptVersions(const QString &registryKey)
{
    QList<PlacedVersion> kept;
    const QList<PlacedVersion> placed = PlacedVersions(registryKey).all();
    for (int i = placed.size() - 1; i >= 0; --i) {
        if (isServing(QDir::fromNativeSeparators(placed[i].dir)))
            kept.append(placed[i]);
    }
    return kept;
}

// The client writes into its folders, but what runs with administrator rights, what it
// reads, and the folders themselves stay the administrators', in every version folder.
Outcome openToAllUsers(const Placement &p)
{
    QStringList closed;
    for (const char *name : closedNames)
        closed.append(QLatin1String(name));
    const QString product = QFileInfo(QDir::fromNativeSeparators(p.dir)).absolutePath();
    return platform::openToAllUsers(product, closed) ? Outcome::Done : Outcome::WriteFailed;
}

// The product folder is closed first: nobody else can make a version folder's name in
// advance, nor anything inside one while it is filled. The mark is its name; what it
// says (who made it) is for people, and a full disk that cannot take it fails the run at
// its first real write.
bool makeVersionFolder(const QString &dir)
{
    if (!ChangeLog::makeClosedPath(QFileInfo(dir).absolutePath(), false) || !ChangeLog::makeClosedPath(dir, true))
        return false;
    writeMark(dir, madeBy());
    return true;
}

bool makeStagingFolder(const QString &dir)
{
    if (!ChangeLog::makeClosedPath(QFileInfo(dir).absolutePath(), false))
        return false;
    const QFileInfo there(dir);
    if ((there.exists() || there.isSymLink()) && !platform::isClosedFolder(dir) && !setAside(dir))
        return false;
    if (!ChangeLog::makeClosedPath(dir, false))
        return false;
    if (readMark(dir).isEmpty())
        writeMark(dir, madeBy());
    return true;
}

bool claimVersionFolder(const QString &dir, const QByteArray &release)
{
    if (!makeStagingFolder(dir))
        return false;
    const QByteArray said = readMark(dir);
    const int at = said.indexOf("\nrelease=");
    if (at >= 0 && said.mid(at + 9).trimmed() != release) {
        for (const QFileInfo &entry :
             QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            if (entry.fileName() != QLatin1String(unfinishedMark))
                ChangeLog::removeTree(entry.absoluteFilePath());
        }
    }
    return writeMark(dir, said.left(said.indexOf('\n') + 1) + "release=" + release + '\n');
}

void markFinished(const QString &dir)
{
    platform::removeFile(inDir(dir, QLatin1String(unfinishedMark)));
}

// Only version folders in our product folder that carry the mark: nothing else there is
// ours to judge.
void removeUnfinishedBeside(const QString &dir)
{
    const QFileInfo self(QDir::fromNativeSeparators(dir));
    const QDir product = self.dir();
    if (!edition::isProductFolder(product.dirName()))
        return;
    for (const QFileInfo &folder : product.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (folder.isSymbolicLink() || folder.absoluteFilePath() == self.absoluteFilePath()
            || !platform::isOwn(folder.absoluteFilePath()))
            continue;
        // An empty one may be a killed run's before it could mark it; rmdir keeps anything
        // else. A mark is ours only if we made it: another user's would take a version away.
        if (platform::isOwn(folder.absoluteFilePath() + QLatin1Char('/') + QLatin1String(unfinishedMark)))
            helpers::removePath(folder.absoluteFilePath());
        else
            ChangeLog::removeDir(folder.absoluteFilePath());
    }
}

void removeShortcuts(const Placement &p)
{
    const QString name = p.displayName();
    // The name becomes part of each shortcut's path.
    if (!isPlainFileName(name))
        return;
    const ClientShortcuts shortcuts =
        clientShortcuts(helpers::startMenuPath(), helpers::desktopPath(), name, p.client.third, p.chinese());
    helpers::removePath(shortcuts.start);
    helpers::removePath(shortcuts.uninstall);
    helpers::removePath(shortcuts.desktop);
    // The client's Start-menu folder goes with its last link; one holding anything else stays.
    helpers::removeIfEmpty(shortcuts.folder);
}

void removeInstallation(const QString &dir, const QString &keep)
{
    const QFileInfo kept(keep);
    if (kept.canonicalPath() != QFileInfo(dir).canonicalFilePath()) {
        helpers::removePath(dir);
        return;
    }
    for (const QFileInfo &entry :
         QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.fileName() != kept.fileName())
            helpers::removePath(entry.absoluteFilePath());
    }
}

// The uninstall entry goes last: it is what the uninstaller reads its installation
// from, so while it is there a rerun finds everything it still has to remove.
Outcome unregisterClient(const Placement &p)
{
    bool ok = true;
    if (isPlainFileName(p.client.exe)) {
        QScopedPointer<QSettings> run(openRun());
        ok = ChangeLog::remove(run.data(), p.client.exe);
    }
    // Only this client's own entries: an empty name would remove every value or key of
    // the group, and another edition's key is another client's.
    if (!p.client.registryKey.isEmpty()) {
        ok = removeClientRecord(p.client) && ok;
        ok = removePinnedKey(p.client) && ok;
        ok = ok && removeUninstallEntry(p.client);
    }
    return ok ? Outcome::Done : Outcome::RegistryFailed;
}

} // namespace placement
