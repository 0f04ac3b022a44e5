// Faults for the placement tests, loaded with LD_PRELOAD into a program under test:
//   FAULT_KILL_LOG=FILE FAULT_KILL_AFTER=K   SIGKILL right after the K-th change line
//                                            (a line not starting with '#') is written to FILE
//   FAULT_ENOSPC=TEXT                        writes to files whose path contains TEXT fail
//                                            as on a full disk
//   FAULT_RENAME=TEXT                        renames onto a path containing TEXT fail (rename
//                                            and renameat2)
#include <dlfcn.h>
#include <sys/types.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

int pathOf(int fd, char *path, size_t size)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, size - 1);
    if (n < 0)
        return 0;
    path[n] = '\0';
    return 1;
}

int matches(const char *variable, const char *path)
{
    const char *text = getenv(variable);
    return text && *text && path && strstr(path, text);
}

} // namespace

extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    static ssize_t (*real)(int, const void *, size_t);
    static int lines;
    if (!real)
        real = reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(dlsym(RTLD_NEXT, "write"));
    char path[PATH_MAX];
    const int known = fd > 2 && pathOf(fd, path, sizeof path);
    if (known && matches("FAULT_ENOSPC", path)) {
        errno = ENOSPC;
        return -1;
    }
    const ssize_t written = real(fd, data, size);
    const char *log = getenv("FAULT_KILL_LOG");
    if (known && log && written > 0 && strcmp(path, log) == 0 && static_cast<const char *>(data)[0] != '#'
        && ++lines == atoi(getenv("FAULT_KILL_AFTER") ? getenv("FAULT_KILL_AFTER") : "0"))
        kill(getpid(), SIGKILL);
    return written;
}

extern "C" int rename(const char *from, const char *to)
{
    static int (*real)(const char *, const char *);
    if (!real)
        real = reinterpret_cast<int (*)(const char *, const char *)>(dlsym(RTLD_NEXT, "rename"));
    if (matches("FAULT_RENAME", to)) {
        errno = EIO;
        return -1;
    }
    return real(from, to);
}

// The programs rename without replacing through renameat2 where the kernel has it.
extern "C" int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags)
{
    static int (*real)(int, const char *, int, const char *, unsigned int);
    if (!real)
        real = reinterpret_cast<int (*)(int, const char *, int, const char *, unsigned int)>(
            dlsym(RTLD_NEXT, "renameat2"));
    if (matches("FAULT_RENAME", to)) {
        errno = EIO;
        return -1;
    }
    return real(fromDir, from, toDir, to, flags);
}
