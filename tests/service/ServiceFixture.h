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

class RecordingOwner : public MessageBoxOwner {
public:
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override {
        messages.push_back({text, caption});
    }
    std::vector<std::pair<std::wstring, std::wstring>> messages;
};

// Starts a real service of its own on fixed addresses and stops it after each
// test. Registers nowhere unless a test names a directory of its own.
class ServiceTest : public ::testing::Test {
protected:
    ServiceTest() { service_.SetDirectoryOrigin(std::nullopt); }

    StartReport StartOn(std::vector<platform::Ipv4Address> addresses,
                        std::vector<std::wstring> paths) {
        platform::SetLocalAddressOverride(std::move(addresses));
        return service_.StartVideoService(paths, &owner_);
    }
    StartReport StartOnLoopback(size_t titles = 1) {
        return StartOn({{127, 0, 0, 1}}, std::vector<std::wstring>(titles, SmallMediaPath()));
    }
    void StopVideoService() { service_.StopVideoService(); }
    void SetDirectoryOrigin(std::optional<std::string> origin) {
        service_.SetDirectoryOrigin(std::move(origin));
    }
    ServiceState& State() { return service_.State(); }

    void TearDown() override {
        service_.StopVideoService();
        platform::SetLocalAddressOverride(std::nullopt);
    }

    RecordingOwner owner_;
    VideoService service_;
};
