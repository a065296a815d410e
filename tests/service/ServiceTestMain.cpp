#include <gtest/gtest.h>

#include <cstdlib>

#include "support/PrivateNetwork.h"
#include "support/TempDir.h"

// Each service test process gets a network of its own, so tests may run in
// parallel on the service's fixed ports and can reach nothing outside.
int main(int argc, char** argv) {
    EnterPrivateNetworkUnlessListing(argc, argv);
    // The programs these tests start keep their titles in a cache of this
    // process's own, not in the user's.
    const TempDir cache;
    setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
    unsetenv("CACHE_DIRECTORY");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
