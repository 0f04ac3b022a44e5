/* The demo client as a Windows program: it only records that it ran. Branding gives it
   the edition's icon and description, which wrestool shows. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    const char *dir = getenv("TEMP");
    char path[1024];
    snprintf(path, sizeof path, "%s\\client-ran.log", dir ? dir : ".");
    FILE *log = fopen(path, "a");
    if (log) {
        fprintf(log, "%s%s%s\n", argv[0], argc > 1 ? " " : "", argc > 1 ? argv[1] : "");
        fclose(log);
    }
    return 0;
}
