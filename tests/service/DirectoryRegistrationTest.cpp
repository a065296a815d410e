#include <curl/curl.h>

#include <chrono>

#include "service/DirectoryRegistration.h"
#include "service/ServiceFixture.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProtocolClient.h"
#include "tools/headset/HeadsetRequests.h"

namespace {

std::string QueryAfterAction(const std::string& url) {
    const std::string action = "?Action=LofrinSvr";
    const size_t at = url.find(action);
    return at == std::string::npos ? std::string{} : url.substr(at + action.size());
}

bool ServiceIsListening() {
    return protocol_client::Connect().Descriptor() >= 0;
}

}  // namespace

TEST(RegistrationUrl, CarriesPortTitlesAndAtMostEightAddresses) {
    EXPECT_EQ(BuildRegistrationUrl("http://dir.example", 3, {{192, 168, 0, 2}}),
              "http://dir.example/ondusvr.aspx?Action=LofrinSvr&CPort=23107&VrmFNum=3"
              "&IPPos0=33597632");

    std::vector<platform::Ipv4Address> ten;
    for (uint8_t i = 0; i < 10; ++i)
        ten.push_back({10, 0, 0, static_cast<uint8_t>(200 + i)});
    const std::string query = QueryAfterAction(BuildRegistrationUrl("http://d", 1, ten));
    EXPECT_NE(query.find("&IPPos7="), std::string::npos);
    EXPECT_EQ(query.find("&IPPos8="), std::string::npos);
    // The first octet is the lowest byte, so 10.0.0.200 reads as negative.
    EXPECT_NE(query.find("&IPPos0=-939524086&"), std::string::npos) << query;

    EXPECT_EQ(QueryAfterAction(BuildRegistrationUrl("http://d", 2, {{192, 168, 1, 5}})),
              "&CPort=23107&VrmFNum=2&IPPos0=83994816");
}

TEST(DirectoryOrigin, AcceptsOnlyHttpOrHttpsWithHostAndPort) {
    EXPECT_EQ(ParseDirectoryOrigin("http://127.0.0.1:8080"), "http://127.0.0.1:8080");
    EXPECT_EQ(ParseDirectoryOrigin("https://directory.example/"), "https://directory.example");
    EXPECT_EQ(ParseDirectoryOrigin("HTTP://Host.Example:81"), "http://Host.Example:81");
    for (const char* bad :
         {"ftp://host", "file:///etc/passwd", "http://", "host:80", "http://host/path",
          "http://host/?q=1", "http://user:pw@host", "http://host:0", "http://host:70000", ""}) {
        EXPECT_FALSE(ParseDirectoryOrigin(bad)) << bad;
    }
}

class DirectoryRegistrationTest : public ServiceTest {};

TEST_F(DirectoryRegistrationTest, OneRequestPerStartBeforeTheWorkerRuns) {
    std::atomic<bool> workerWasRunning{true};
    std::atomic<bool> wasListening{false};
    LoopbackHttpServer directory(LoopbackHttpServer::Behaviour::Answer, [&] {
        workerWasRunning = State().workerRunning.load();
        wasListening = ServiceIsListening();
    });
    SetDirectoryOrigin(directory.Origin());
    const StartReport report = StartOnLoopback(1);
    EXPECT_EQ(report.registration.outcome, RegistrationReport::Outcome::Sent);
    EXPECT_EQ(report.registration.httpStatus, 200);
    ASSERT_EQ(directory.RequestLines().size(), 1u);
    EXPECT_EQ(directory.RequestLines()[0],
              "GET /ondusvr.aspx?Action=LofrinSvr&CPort=23107&VrmFNum=1&IPPos0=16777343 HTTP/1.1");
    EXPECT_FALSE(workerWasRunning);
    EXPECT_TRUE(wasListening);

    StopVideoService();
    StartOnLoopback(2);
    ASSERT_EQ(directory.RequestLines().size(), 2u);
    EXPECT_NE(directory.RequestLines()[1].find("&VrmFNum=2&"), std::string::npos);
}

TEST_F(DirectoryRegistrationTest, NoTitlesOrNoAddressesMeansNoRequest) {
    LoopbackHttpServer directory;
    SetDirectoryOrigin(directory.Origin());
    const RegistrationReport noTitle =
        StartOn({{127, 0, 0, 1}}, {L"/nonexistent/a.mp4"}).registration;
    StopVideoService();
    const RegistrationReport noAddress = StartOn({}, {SmallMediaPath()}).registration;
    StopVideoService();
    SetDirectoryOrigin(std::nullopt);
    const RegistrationReport noDirectory = StartOnLoopback(1).registration;
    EXPECT_EQ(directory.Connections(), 0);
    for (const auto& [report, why] : {std::pair{noTitle, "no title"},
                                      {noAddress, "no address"},
                                      {noDirectory, "no directory"}}) {
        EXPECT_EQ(report.outcome, RegistrationReport::Outcome::NotSent) << why;
        EXPECT_EQ(report.detail, why);
    }
}

TEST_F(DirectoryRegistrationTest, SilentDirectoryDelaysTheStartOnlyByTheBound) {
    LoopbackHttpServer directory(LoopbackHttpServer::Behaviour::Silent);
    SetDirectoryOrigin(directory.Origin());
    const auto before = std::chrono::steady_clock::now();
    const StartReport report = StartOnLoopback(1);
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(directory.RequestLines().size(), 1u);
    EXPECT_EQ(report.registration.outcome, RegistrationReport::Outcome::Failed);
    EXPECT_EQ(report.registration.detail, curl_easy_strerror(CURLE_OPERATION_TIMEDOUT));
    EXPECT_GE(took, std::chrono::milliseconds(4500));
    EXPECT_LT(took, std::chrono::milliseconds(6500));

    headset::HeadsetConnection client = protocol_client::Connect();
    EXPECT_TRUE(protocol_client::Exchange(client, headset::DescribeTitleRequest(0)));
}

TEST_F(DirectoryRegistrationTest, RefusedConnectionDoesNotHoldUpTheStart) {
    // A port that was just free and has nobody listening: the connect is refused.
    std::string origin;
    {
        LoopbackHttpServer closed;
        origin = closed.Origin();
    }
    SetDirectoryOrigin(origin);
    const auto before = std::chrono::steady_clock::now();
    const StartReport report = StartOnLoopback(1);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(3000));
    EXPECT_EQ(report.registration.outcome, RegistrationReport::Outcome::Failed);
    // The kind of failure, in the words of whichever libcurl this is.
    EXPECT_EQ(report.registration.detail, curl_easy_strerror(CURLE_COULDNT_CONNECT));
    EXPECT_TRUE(State().workerRunning);
    EXPECT_TRUE(ServiceIsListening());
}
