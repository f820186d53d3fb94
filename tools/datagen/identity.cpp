#include "identity.h"

std::vector<ArchiveMember> identity_members()
{
    return {
        {"dustline.txt",
         "Dustline data release 1\n"
         "Every file in this release is made by tools/datagen.\n"},
    };
}
