// Applies one binary patch as the updater does, as a process of its own, so that it is
// timed the same way as `zstd -d --patch-from`:
//   bench_patch BASE PATCH OUT
#include "binarypatch.h"
#include "partialfile.h"
#include "updatework.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fputs("usage: bench_patch BASE PATCH OUT\n", stderr);
        return 2;
    }
    // The result's hash is not known ahead here: the part commits whatever it made.
    PartialFile part(args[3], QString());
    const bool made = part.open() && part.startOver()
                      && binarypatch::apply(args[1], UpdateWork::fileHash(args[1]), args[2], qint64(1) << 40, part)
                      && part.commit();
    return made ? 0 : 1;
}
