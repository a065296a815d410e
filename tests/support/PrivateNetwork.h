#pragma once

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Moves the calling process into a network namespace of its own with only
// loopback up, so that every test process can open the service's fixed ports
// without meeting another test, and nothing can reach a real network.
// Aborts when that is impossible rather than run on a shared network.
inline void EnterPrivateNetwork() {
    if (unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET)");
        std::fprintf(stderr,
                     "service tests must run in a private network namespace; "
                     "run them through scripts/isolated\n");
        std::abort();
    }
    const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (control < 0 || ioctl(control, SIOCGIFFLAGS, &request) != 0)
        std::abort();
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    if (ioctl(control, SIOCSIFFLAGS, &request) != 0)
        std::abort();
    close(control);
}

// The build lists the tests by running the binary outside any namespace,
// where a normal user may not make one; listing runs no test.
inline void EnterPrivateNetworkUnlessListing(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            return;
    }
    EnterPrivateNetwork();
}
