// datagen: writes Dustline's data release into the given folder.
#include "identity.h"
#include "saf_writer.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: datagen <output folder>\n");
        return 2;
    }
    std::string out = argv[1];
    printf("datagen: writing the data release into %s\n", out.c_str());
    if (!write_archive(out + "/zzzz.saf", identity_members()))
        return 1;
    return 0;
}
