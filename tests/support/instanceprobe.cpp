// Starts as a program of the system would, but calls exist() only once the barrier (a
// named pipe, argument 1, held open by the test) closes, so that several probes ask at
// the same instant. Prints "ready", then "owner" or "exist"; an owner keeps the name
// until its standard input closes.
#include "singleapp.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    SingleApp app(argc, argv);
    const int barrier = argc > 1 ? open(argv[1], O_RDONLY | O_CLOEXEC) : -1;
    if (barrier < 0)
        return 2;
    std::puts("ready");
    std::fflush(stdout);
    char byte;
    while (read(barrier, &byte, 1) > 0) {
    }
    const bool other = app.exist();
    std::puts(other ? "exist" : "owner");
    std::fflush(stdout);
    if (!other)
        while (std::getchar() != EOF) {
        }
    return 0;
}
