#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/CurrentDirectory.h"
#include "platform/ModulePath.h"
#include "platform/PathBytes.h"
#include "support/InDirectory.h"
#include "support/TempDir.h"

TEST(ModulePath, IsTheRunningProgramFile) {
    const std::wstring path = platform::ModuleFileName();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), L'/');
    EXPECT_TRUE(std::filesystem::equivalent(platform::PathToOsBytes(path), "/proc/self/exe"));
}

TEST(CurrentDirectory, FollowsChangesAndKeepsNonAsciiNames) {
    TempDir dir;
    const std::filesystem::path named = dir.Path() / "\xE8\xA7\x86\xE9\xA2\x91 dir";
    std::filesystem::create_directory(named);
    {
        InDirectory inside(named);
        EXPECT_EQ(platform::CurrentDirectory(), platform::PathFromOsBytes(named.string()));
    }
    {
        InDirectory atRoot("/");
        EXPECT_EQ(platform::CurrentDirectory(), L"/");
    }
}

TEST(CurrentDirectory, IsEmptyWhenTheDirectoryIsGone) {
    TempDir dir;
    const std::filesystem::path doomed = dir.Path() / "doomed";
    std::filesystem::create_directory(doomed);
    InDirectory inside(doomed);
    std::filesystem::remove(doomed);
    EXPECT_EQ(platform::CurrentDirectory(), L"");
}
