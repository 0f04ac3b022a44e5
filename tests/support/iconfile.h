#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The image bytes of an icon file, in file order, read without the code under test.
QList<QByteArray> iconFileImages(const QString &path);
