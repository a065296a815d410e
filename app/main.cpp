#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/HeadlessService.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("OnduLofrin 1.0.1.4");
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--serve") == 0) {
        return RunHeadlessService(std::vector<std::string>(argv + 2, argv + argc));
    }
    return 0;
}
