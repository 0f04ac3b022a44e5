#include "iconfile.h"

#include <QDataStream>
#include <QFile>

QList<QByteArray> iconFileImages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    QDataStream in(bytes);
    in.setByteOrder(QDataStream::LittleEndian);
    quint16 reserved, type, count;
    in >> reserved >> type >> count;
    QList<QByteArray> images;
    for (int i = 0; i < count; ++i) {
        quint8 width, height, colours, zero;
        quint16 planes, bits;
        quint32 size, offset;
        in >> width >> height >> colours >> zero >> planes >> bits >> size >> offset;
        images << bytes.mid(int(offset), int(size));
    }
    return images;
}
