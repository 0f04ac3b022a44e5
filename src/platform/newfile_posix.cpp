#include "newfile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

mode_t modeOf(QFile::Permissions p)
{
    mode_t mode = 0;
    const struct
    {
        QFile::Permission qt;
        mode_t bit;
    } bits[] = {{QFile::ReadOwner, S_IRUSR}, {QFile::WriteOwner, S_IWUSR}, {QFile::ExeOwner, S_IXUSR},
                {QFile::ReadGroup, S_IRGRP}, {QFile::WriteGroup, S_IWGRP}, {QFile::ExeGroup, S_IXGRP},
                {QFile::ReadOther, S_IROTH}, {QFile::WriteOther, S_IWOTH}, {QFile::ExeOther, S_IXOTH}};
    for (const auto &b : bits) {
        if (p & b.qt)
            mode |= b.bit;
    }
    return mode;
}

} // namespace

NewFile::~NewFile()
{
    close();
}

bool NewFile::open(const QString &path)
{
    close();
    failed = false;
    handle = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    return handle >= 0;
}

bool NewFile::write(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (!failed && left > 0) {
        const ssize_t n = ::write(int(handle), data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        failed = n <= 0;
        data += n > 0 ? n : 0;
        left -= n > 0 ? n : 0;
    }
    return !failed;
}

bool NewFile::setPermissions(QFile::Permissions permissions)
{
    return permissions == 0 || ::fchmod(int(handle), modeOf(permissions)) == 0;
}

bool NewFile::close()
{
    if (handle < 0)
        return !failed;
    failed = ::close(int(handle)) != 0 || failed;
    handle = -1;
    return !failed;
}

bool NewFile::isOpen() const
{
    return handle >= 0;
}

} // namespace platform
