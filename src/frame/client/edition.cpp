#include "edition.h"

namespace {

const char coBrandedThird[] = "KWRender";
const char standardKey[] = "NimbraPVX";
const char coBrandedKey[] = "NimbraKW";
const char ownName[] = "Nimbra";

} // namespace

Edition editionOf(const QString &third)
{
    if (third.isEmpty())
        return Edition::Standard;
    return third == QLatin1String(coBrandedThird) ? Edition::CoBranded : Edition::Partner;
}

namespace edition {

QString coBrandedCode()
{
    return QLatin1String(coBrandedThird);
}

QString registryKey(Edition e)
{
    return QLatin1String(e == Edition::CoBranded ? coBrandedKey : standardKey);
}

QString registryKeyOfDir(const QString &appDir)
{
    return QLatin1String(appDir.contains(QLatin1String(standardKey)) ? standardKey : coBrandedKey);
}

QString productFolder(Edition e)
{
    return e == Edition::CoBranded ? QStringLiteral("Nimbra for Unity") : QLatin1String(standardKey);
}

bool isProductFolder(const QString &folderName)
{
    return folderName == productFolder(Edition::Standard) || folderName == productFolder(Edition::CoBranded);
}

QString defaultTargetFolder(const QString &third)
{
    return editionOf(third) == Edition::Partner ? third : QLatin1String(ownName);
}

QString coBrandedTargetOf(QString storedDir)
{
    return storedDir.replace(QLatin1String(coBrandedThird), QLatin1String(ownName));
}

QString startMenuFolder(Edition e, const QString &name)
{
    return e == Edition::Partner ? name : QLatin1String(ownName);
}

QString updateClient(const QString &third)
{
    if (third == QLatin1String("OKARender"))
        return QStringLiteral("oka");
    if (third == QLatin1String(coBrandedThird))
        return QStringLiteral("u3d");
    return QString();
}

QString iconResource(const QString &third)
{
    return QStringLiteral(":/ZQ-%1.ico").arg(QString(third).remove(QLatin1String("Render")));
}

QString reasonType(Edition e)
{
    switch (e) {
    case Edition::Standard:
        return QStringLiteral("2");
    case Edition::CoBranded:
        return QStringLiteral("1");
    case Edition::Partner:
        break;
    }
    return QString();
}

bool asksFeedback(Edition e)
{
    return e != Edition::Partner;
}

bool needsMaxClosed(Edition e)
{
    return e != Edition::CoBranded;
}

bool leavesUnityOnRemoval(Edition e)
{
    return e == Edition::CoBranded;
}

bool namesPublisher(Edition e)
{
    return e != Edition::Partner;
}

bool namesMakerAddress(Edition e)
{
    return e == Edition::Standard;
}

} // namespace edition
