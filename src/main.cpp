// Process entry. The application shell is not built yet: until it is, the program checks that
// the demo data root is where it is started and says what exists.
#include <cstdio>

#include "Platform/System/Paths.h"

int main() {
    Platform::PathResolver& paths = Platform::GamePaths();
    bool hasData = paths.IsDirectory("Data");
    std::printf("Korvaxa: the game root is %s (%s).\n", paths.Root().c_str(),
                hasData ? "a Data folder is present" : "no Data folder here");
    std::printf("Korvaxa: the application shell is not built yet, so no game window opens; "
                "the engine libraries and their tests are what exists so far.\n");
    return 0;
}
