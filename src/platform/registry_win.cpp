#include "registry.h"

#include <QSettings>

namespace platform {

namespace {

const char pathProperty[] = "registryPath";

} // namespace

QSettings *openRegistry(const QString &path, QObject *parent)
{
    auto *view = new QSettings(path, QSettings::NativeFormat, parent);
    view->setProperty(pathProperty, path);
    return view;
}

QString registryPathOf(const QSettings &view)
{
    const QString group = view.group().replace(QLatin1Char('/'), QLatin1Char('\\'));
    const QString path = view.property(pathProperty).toString();
    return group.isEmpty() ? path : path + QLatin1Char('\\') + group;
}

QString registryFile(const QString &)
{
    return QString();
}

} // namespace platform
