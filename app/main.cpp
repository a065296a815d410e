#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("OnduLofrin 1.0.1.4");
            return 0;
        }
    }
    return 0;
}
