#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "platform/LocalAddresses.h"
#include "platform/PathBytes.h"
#include "service/DirectoryRegistration.h"
#include "service/VideoService.h"
#include "support/TestMedia.h"

// A small H.264 file every service test can put in its catalogue.
inline std::wstring SmallMediaPath() {
    const auto path =
        MakeTestMedia("small-h264.mp4", {"-f", "lavfi", "-i", "testsrc=s=64x48:d=0.4:r=10", "-c:v",
                                         "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    return platform::PathFromOsBytes(path.string());
}

// Starts a real service of its own on fixed addresses and stops it after each
// test. Registers nowhere unless a test names a directory of its own.
class ServiceTest : public ::testing::Test {
protected:
    // A start on the machine's own addresses unless `addresses` are given.
    StartReport Start(std::vector<std::wstring> paths,
                      std::optional<std::vector<platform::Ipv4Address>> addresses = {}) {
        ServiceOptions options;
        options.paths = std::move(paths);
        options.bindAddresses = std::move(addresses);
        options.directoryOrigin = directoryOrigin_;
        return service_.StartVideoService(options);
    }
    StartReport StartOn(std::vector<platform::Ipv4Address> addresses,
                        std::vector<std::wstring> paths) {
        return Start(std::move(paths), std::move(addresses));
    }
    StartReport StartOnLoopback(size_t titles = 1) {
        return StartOn({{127, 0, 0, 1}}, std::vector<std::wstring>(titles, SmallMediaPath()));
    }
    void StopVideoService() { service_.StopVideoService(); }
    void SetDirectoryOrigin(std::optional<std::string> origin) {
        directoryOrigin_ = std::move(origin);
    }
    ServiceState& State() { return service_.State(); }

    void TearDown() override { service_.StopVideoService(); }

    std::optional<std::string> directoryOrigin_;
    VideoService service_;
};
