// Prints, as one JSON object, the configuration a BaseWidget reads when started from
// this program's directory. Prints nothing when the process ends during the read.
#include "basewidget.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    BaseWidget config;
    QJsonObject o;
    o[QStringLiteral("name")] = config.name;
    o[QStringLiteral("nameEN")] = config.nameEN;
    o[QStringLiteral("mark")] = config.mark;
    o[QStringLiteral("lang")] = config.lang;
    o[QStringLiteral("appDir")] = config.appDir;
    o[QStringLiteral("installDir")] = config.installDir;
    o[QStringLiteral("bs")] = config.bs;
    o[QStringLiteral("exe")] = BaseWidget::exe;
    o[QStringLiteral("third")] = BaseWidget::third;
    o[QStringLiteral("chinese")] = config.isChinese();
    o[QStringLiteral("editionKey")] = BaseWidget::editionKey();
    // Tests seed each edition's settings key with a distinct marker value.
    o[QStringLiteral("settingsMarker")] = config.settings()->value(QStringLiteral("marker")).toString();
    std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}
