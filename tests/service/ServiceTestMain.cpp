#include <gtest/gtest.h>

#include "support/PrivateNetwork.h"

// Each service test process gets a network of its own, so tests may run in
// parallel on the service's fixed ports and can reach nothing outside.
int main(int argc, char** argv) {
    EnterPrivateNetworkUnlessListing(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
