#include <cstdio>
#include <cstring>

// Entry point of the station program. The station's window, terminal
// front-end and bench commands are wired in here as they land.
int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Gangflash 2.1.0.1");
            return 0;
        }
    }
    std::fputs("gangflash: the station is not wired up yet\n", stderr);
    return 2;
}
