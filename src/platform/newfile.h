#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace platform {

// A file an extraction writes, by its handle alone: made (or emptied) without following
// a link at its name, its bytes written, its permissions set on the handle, then closed.
// The fewest system calls a file can take: an archive holds tens of thousands.
class NewFile
{
public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    bool open(const QString &path);
    bool write(const QByteArray &bytes);
    // Permissions as Qt names them; nothing is changed for 0.
    bool setPermissions(QFile::Permissions permissions);
    // False when a write or the close failed.
    bool close();
    bool isOpen() const;

private:
    qintptr handle = -1;
    bool failed = false;
};

} // namespace platform
