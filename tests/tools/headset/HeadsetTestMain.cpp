#include <gtest/gtest.h>

#include "support/PrivateNetwork.h"

// The tool is tested against the real service, so this process gets a
// network of its own like the service tests.
int main(int argc, char** argv) {
    EnterPrivateNetworkUnlessListing(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
