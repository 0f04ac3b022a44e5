#pragma once

#include <QByteArray>

// Ed25519 signatures over a release's version file: a publisher signs the exact bytes
// with a private key, the updater checks them with the public key pinned in it.
namespace signature {

// A new key pair: the private key as PEM, the public key as base64 of its 32 bytes.
bool newKeyPair(QByteArray *privatePem, QByteArray *publicBase64);

// The base64 signature of message; empty when the key is unusable.
QByteArray sign(const QByteArray &privatePem, const QByteArray &message);

enum class Check { Valid, BadKey, Malformed, Wrong };

Check verify(const QByteArray &publicBase64, const QByteArray &message, const QByteArray &signatureBase64);

} // namespace signature
