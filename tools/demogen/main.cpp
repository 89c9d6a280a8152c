// demogen <data folder> <game root>: assembles the game root and writes the generated demo files.
#include <cstdio>

#include "DemoGen.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: demogen <data folder> <game root>\n");
        return 2;
    }
    const bool assembled = demogen::AssembleRoot(argv[1], argv[2]);
    const bool generated = demogen::RunFamilies(argv[2]);
    return assembled && generated ? 0 : 1;
}
