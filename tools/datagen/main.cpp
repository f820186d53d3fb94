// datagen: writes Dustline's whole data release into the given folder. The
// output depends on nothing but this program, so two runs give the same
// bytes on every machine.
#include "assets.h"
#include "identity.h"
#include "release.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: datagen <output folder>\n");
        return 2;
    }
    std::string out = argv[1];
    Release release;
    release.archives["zzzz.saf"] = identity_members();
    struct Step {
        const char* what;
        void (*add)(Release*);
    } const steps[] = {
        {"tracks", add_tracks},
        {"bikes", add_bikes},
        {"rider", add_rider},
        {"track objects", add_objects},
        {"fonts and pictures", add_interface},
        {"engine sounds", add_sounds},
    };
    for (const Step& step : steps) {
        printf("datagen: %s\n", step.what);
        fflush(stdout);
        step.add(&release);
    }
    if (!write_release(release, out))
        return 1;
    printf("datagen: wrote %zu archives into %s\n", release.archives.size(), out.c_str());
    return 0;
}
