#include "core/startup.h"

int main(int argc, char** argv)
{
    return dustline_main(argc, argv);
}
