#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The resources of a PE file as icoutils' wrestool, an independent reader, sees them:
// "type/name/language" -> bytes. Empty when wrestool cannot read the file.
QMap<QString, QByteArray> peResources(const QString &exe);

// The bytes of a file, or a marker when it cannot be read.
QByteArray fileBytes(const QString &path);

// Appends a stand-in for an Authenticode signature (a certificate table the certificate
// directory points at) to a PE file: what a rewrite of the file would lose.
bool appendCertificateTable(const QString &exe);
