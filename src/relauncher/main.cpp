// boomerel: reopens Kelvo Viewer after an application update.
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <application folder>\n", argc > 0 ? argv[0] : "boomerel");
        return 1;
    }
    std::fprintf(stderr, "boomerel: relaunching is not available in this build\n");
    return 1;
}
