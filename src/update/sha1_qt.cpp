#include "sha1.h"

#include <QCryptographicHash>

struct Sha1::Private
{
    QCryptographicHash hash{QCryptographicHash::Sha1};
};

Sha1::Sha1()
    : d(new Private)
{
}

Sha1::~Sha1() = default;

void Sha1::addData(const char *data, qint64 length)
{
    d->hash.addData(data, int(length));
}

QString Sha1::hexDigest()
{
    return QString::fromLatin1(d->hash.result().toHex());
}
