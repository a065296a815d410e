#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/PathBytes.h"
#include "service/LibraryOffer.h"
#include "service/ServiceFixture.h"
#include "support/ChildProcess.h"
#include "support/ProtocolClient.h"
#include "support/SanitizerSlowdown.h"
#include "support/TempDir.h"
#include "tools/headset/HeadsetReplies.h"
#include "tools/headset/HeadsetRequests.h"

#ifndef ONDU_PROGRAM_PATH
#error "ONDU_PROGRAM_PATH must name the OnduLofrin program"
#endif

namespace {

using Names = std::vector<std::string>;

CatalogueEntry Title(const std::string& name, int32_t width = 300) {
    CatalogueEntry entry;
    entry.title = name;
    entry.path = L"/videos/" + platform::PathFromOsBytes(name);
    entry.thumbWidth = width;
    return entry;
}

Catalogue Titles(const Names& names, int32_t width = 300) {
    Catalogue titles;
    for (const std::string& name : names)
        titles.push_back(Title(name, width));
    return titles;
}

Names NamesOf(const Catalogue& titles) {
    Names names;
    for (const CatalogueEntry& entry : titles)
        names.push_back(entry.title);
    return names;
}

// The titles a headset lists on `client`: each described in turn until the
// service refuses an index.
Names ListedTitles(headset::HeadsetConnection& client) {
    Names names;
    for (int32_t index = 0; index <= static_cast<int32_t>(MAX_TITLES); ++index) {
        const auto reply = protocol_client::Exchange(client, headset::DescribeTitleRequest(index));
        headset::TitleDescription title;
        if (!reply || !headset::ParseTitleDescription(*reply, title).empty() || title.status != 0)
            break;
        names.push_back(title.title);
    }
    return names;
}

// Whether `listed` comes to be what a headset lists within `seconds`, asked
// again every 100 ms; `connected` lists on its own connection, otherwise
// each look is a headset that comes and goes.
bool ListsWithin(const Names& listed, headset::HeadsetConnection* connected, Names& last,
                 int seconds = 5) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(seconds * kSanitizerSlowdown);
    do {
        if (connected != nullptr) {
            last = ListedTitles(*connected);
        } else {
            headset::HeadsetConnection passing = protocol_client::Connect();
            last = ListedTitles(passing);
        }
        if (last == listed)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::string Joined(const Names& names) {
    std::string text;
    for (const std::string& name : names)
        text += name + " ";
    return text;
}

}  // namespace

// What a connected headset sees of a library read again: indexes kept,
// titles read again in place, new ones after the last while there is room.
TEST(LibraryOffer, ConnectedHeadsetsKeepTheirIndexes) {
    Names thirtyTwo;
    for (size_t i = 0; i < MAX_TITLES; ++i)
        thirtyTwo.push_back("t" + std::to_string(i) + ".mp4");
    struct Case {
        const char* what;
        Names offered, library, kept, beyondLimit;
    };
    const std::vector<Case> cases{
        {"added after the last", {"b", "d"}, {"a", "b", "c", "d"}, {"b", "d", "a", "c"}, {}},
        {"removed stays in place", {"a", "b", "c"}, {"c"}, {"a", "b", "c"}, {}},
        {"nothing left", {"a"}, {}, {"a"}, {}},
        {"beyond the limit", thirtyTwo, {"new.mp4", "t0.mp4"}, thirtyTwo, {"new.mp4"}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> beyondLimit;
        const Catalogue kept =
            KeepingIndexes(Titles(c.offered), Titles(c.library, 640), beyondLimit);
        EXPECT_EQ(NamesOf(kept), c.kept) << c.what;
        for (const CatalogueEntry& entry : kept) {
            const bool inLibrary =
                std::find(c.library.begin(), c.library.end(), entry.title) != c.library.end();
            // Read again in place: the library's entry, not the one offered before.
            EXPECT_EQ(entry.thumbWidth, inLibrary ? 640 : 300) << c.what << ": " << entry.title;
        }
        std::vector<std::wstring> expectedBeyond;
        for (const std::string& name : c.beyondLimit)
            expectedBeyond.push_back(Title(name).path);
        EXPECT_EQ(beyondLimit, expectedBeyond) << c.what;
    }
}

// The real service on a folder changed under it, step by step: what a
// headset connected throughout lists, and what headsets list after it left.
TEST(HeadlessService, FollowsItsFolderAndKeepsIndexesWhileHeadsetsAreConnected) {
    TempDir folder;
    const std::filesystem::path media = platform::PathToOsBytes(SmallMediaPath());
    std::filesystem::copy_file(media, folder.File("b.mp4"));
    ChildProcess server({ONDU_PROGRAM_PATH, "--serve", "--no-directory", "--no-cache", "--bind",
                         "127.0.0.1", folder.Path().string()});
    ASSERT_TRUE(server.WaitForOutput("listening on 127.0.0.1:23107", 10000)) << server.Errors();
    headset::HeadsetConnection connected = protocol_client::Connect();

    // A copy under way: the first half written, the file still open. A
    // transport stream, whose first half alone would make a title.
    const std::filesystem::path stream =
        MakeTestMedia("follow-copy.ts", {"-f", "lavfi", "-i", "testsrc=s=64x48:d=2:r=10", "-c:v",
                                         "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    ASSERT_FALSE(stream.empty());
    std::ifstream source(stream, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(source), {}};
    std::ofstream copying(folder.File("c.ts"), std::ios::binary);
    const auto move = [&](const std::string& name) {
        // Written under a hidden name, as copying tools do, then moved in.
        const std::filesystem::path hidden = folder.File("." + name);
        std::filesystem::copy_file(media, hidden);
        std::filesystem::rename(hidden, folder.File(name));
    };
    struct Step {
        const char* what;
        std::function<void()> change;
        Names listed;
        bool stillConnected;
        std::function<void()> check = {};
    };
    const std::vector<Step> steps{
        {"moved in", [&] { move("d.mp4"); }, {"b.mp4", "d.mp4"}, true},
        {"being copied is not offered",
         [&] {
             copying.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
             copying.flush();
             move("a.mp4");
         },
         {"b.mp4", "d.mp4", "a.mp4"},
         true},
        {"offered once the copy is closed",
         [&] {
             copying.write(bytes.data() + bytes.size() / 2,
                           static_cast<std::streamsize>(bytes.size() - bytes.size() / 2));
             copying.close();
         },
         {"b.mp4", "d.mp4", "a.mp4", "c.ts"},
         true},
        {"removed keeps its index",
         [&] {
             std::filesystem::remove(folder.File("b.mp4"));
             move("e.mp4");
         },
         {"b.mp4", "d.mp4", "a.mp4", "c.ts", "e.mp4"},
         true,
         [&] {
             const auto opened = protocol_client::Parsed(
                 headset::ParseOpenedMedia,
                 protocol_client::Exchange(connected, headset::OpenMediaRequest(0)));
             EXPECT_NE(opened.status, 0) << "the removed title opened";
         }},
        {"numbered anew once no headset is connected",
         [&] { connected.Close(); },
         {"a.mp4", "c.ts", "d.mp4", "e.mp4"},
         false},
        {"moved away",
         [&] { std::filesystem::rename(folder.File("a.mp4"), folder.File(".a.mp4")); },
         {"c.ts", "d.mp4", "e.mp4"},
         false},
    };
    for (const Step& step : steps) {
        step.change();
        Names last;
        EXPECT_TRUE(ListsWithin(step.listed, step.stillConnected ? &connected : nullptr, last))
            << step.what << ": listed " << Joined(last);
        if (step.check)
            step.check();
    }
    const std::string errors = server.Errors();
    for (const char* line : {"title 1 (d.mp4) added", "title 3 (c.ts) added",
                             "title 0 (b.mp4) removed; its index answers as a missing file",
                             "titles are numbered anew", "title 0 (a.mp4) removed"}) {
        EXPECT_NE(errors.find(line), std::string::npos) << line << " not in:\n" << errors;
    }

    server.Signal(SIGHUP);
    move("f.mp4");
    Names last;
    EXPECT_TRUE(ListsWithin({"c.ts", "d.mp4", "e.mp4", "f.mp4"}, nullptr, last))
        << "after SIGHUP: listed " << Joined(last);
    server.Signal(SIGTERM);
    EXPECT_EQ(server.WaitForExit(2000 * kSanitizerSlowdown), 0);
    EXPECT_NE(server.Errors().find("SIGHUP: reading the library again"), std::string::npos);
}
