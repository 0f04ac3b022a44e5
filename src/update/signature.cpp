#include "signature.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace signature {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;
using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;

const int keyBytes = 32;
const int signatureBytes = 64;

// Base64 that decodes to exactly the expected length; anything else is not ours.
bool decode(const QByteArray &base64, int length, QByteArray *raw)
{
    const auto result = QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    *raw = result.decoded;
    return result.decodingStatus == QByteArray::Base64DecodingStatus::Ok && raw->size() == length;
}

} // namespace

bool newKeyPair(QByteArray *privatePem, QByteArray *publicBase64)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr),
                                                                     EVP_PKEY_CTX_free);
    EVP_PKEY *generated = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &generated) != 1)
        return false;
    Key key(generated, EVP_PKEY_free);
    Bio out(BIO_new(BIO_s_mem()), BIO_free);
    unsigned char raw[keyBytes];
    size_t rawLength = sizeof raw;
    if (!out || PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1
        || EVP_PKEY_get_raw_public_key(key.get(), raw, &rawLength) != 1)
        return false;
    char *pem = nullptr;
    const long pemLength = BIO_get_mem_data(out.get(), &pem);
    *privatePem = QByteArray(pem, int(pemLength));
    *publicBase64 = QByteArray(reinterpret_cast<const char *>(raw), int(rawLength)).toBase64();
    return true;
}

QByteArray sign(const QByteArray &privatePem, const QByteArray &message)
{
    Bio in(BIO_new_mem_buf(privatePem.constData(), privatePem.size()), BIO_free);
    Key key(in ? PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr) : nullptr, EVP_PKEY_free);
    Context ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char raw[signatureBytes];
    size_t length = sizeof raw;
    if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519 || !ctx
        || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1
        || EVP_DigestSign(ctx.get(), raw, &length, reinterpret_cast<const unsigned char *>(message.constData()),
                          size_t(message.size()))
               != 1)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(raw), int(length)).toBase64();
}

Check verify(const QByteArray &publicBase64, const QByteArray &message, const QByteArray &signatureBase64)
{
    QByteArray publicRaw;
    QByteArray signatureRaw;
    if (!decode(publicBase64, keyBytes, &publicRaw))
        return Check::BadKey;
    if (!decode(signatureBase64, signatureBytes, &signatureRaw))
        return Check::Malformed;
    Key key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                        reinterpret_cast<const unsigned char *>(publicRaw.constData()), keyBytes),
            EVP_PKEY_free);
    Context ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!key || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return Check::BadKey;
    const int ok = EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char *>(signatureRaw.constData()),
                                    signatureBytes, reinterpret_cast<const unsigned char *>(message.constData()),
                                    size_t(message.size()));
    return ok == 1 ? Check::Valid : Check::Wrong;
}

} // namespace signature
