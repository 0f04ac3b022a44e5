#include "sha1.h"

#include <QByteArray>

#include <openssl/evp.h>

struct Sha1::Private
{
    EVP_MD_CTX *context = EVP_MD_CTX_new();
};

Sha1::Sha1()
    : d(new Private)
{
    EVP_DigestInit_ex(d->context, EVP_sha1(), nullptr);
}

Sha1::~Sha1()
{
    EVP_MD_CTX_free(d->context);
}

void Sha1::addData(const char *data, qint64 length)
{
    EVP_DigestUpdate(d->context, data, size_t(length));
}

QString Sha1::hexDigest()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(d->context, digest, &size);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(size)).toHex());
}
