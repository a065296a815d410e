#include "tools/headset/LoadClient.h"

#include <algorithm>
#include <thread>

#include "protocol/RequestCodes.h"
#include "protocol/ServiceConstants.h"
#include "tools/headset/HeadsetExchanges.h"
#include "tools/headset/PackagedRanges.h"

namespace headset {
namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr auto kRetryPause = std::chrono::milliseconds(100);
// How far ahead of its rate a player fills its buffer.
constexpr double kLeadSeconds = 1.0;
// What a player asks of a packaged movie per request.
constexpr int64_t kPackagedRequestBytes = 4 * 1048576;
// Errors kept word for word; the rest are only counted.
constexpr size_t kErrorsKept = 20;
// A first record past every table: the reply then carries chunks only.
constexpr int32_t kNoRecords = INT32_MAX;

}  // namespace

LoadClient::LoadClient(const LoadSettings& settings, int32_t title, uint32_t seed)
    : settings_(settings), title_(title), random_(seed) {}

LoadReport LoadClient::Run(const std::atomic<bool>& stop, std::atomic<bool>& serverGone) {
    stop_ = &stop;
    serverGone_ = &serverGone;
    start_ = Clock::now();
    playStart_.reset();
    if (settings_.seekEverySeconds)
        nextSeek_ = start_ + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(*settings_.seekEverySeconds));
    while (!Stopping() && Elapsed() < settings_.seconds) {
        if (!connection_ && !Connect()) {
            if (!report_.lostServer.empty()) {
                serverGone.store(true);
                break;
            }
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        WaitForRate();
        if (Stopping() || Elapsed() >= settings_.seconds)
            break;
        if (!(packaged_ ? PullChunks() : PullBatch())) {
            connection_.reset();
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        NoteLag();
    }
    report_.seconds =
        playStart_ ? std::chrono::duration<double>(Clock::now() - *playStart_).count() : 0;
    return std::move(report_);
}

double LoadClient::Elapsed() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void LoadClient::Fail(const std::string& error) {
    ++report_.errorCount;
    if (report_.errors.size() < kErrorsKept)
        report_.errors.push_back(error);
}

bool LoadClient::Connect() {
    std::string error;
    bool nothingThere = false;
    connection_ = HeadsetConnection::Open(settings_.host, settings_.port, kConnectTimeoutMs, error,
                                          &nothingThere);
    if (!connection_) {
        if (nothingThere) {
            ++report_.errorCount;
            report_.lostServer = error;
            report_.lostAfterSeconds = Elapsed();
        } else {
            Fail(error);
        }
        return false;
    }
    TitleDescription title;
    error = DescribeTitle(*connection_, title_, title);
    if (error.empty() && title.status != kStatusSuccess)
        error = StatusMeaning(kDescribeTitleRequest, title.status);
    if (error.empty()) {
        packaged_ = IsPackagedTitle(title.title);
        error = packaged_ ? OpenPackagedTitle() : OpenMediaTitle();
    }
    if (!error.empty()) {
        Fail("title " + std::to_string(title_) + ": " + error);
        connection_.reset();
        return false;
    }
    // Playing starts once the title is open; a reconnection goes on where
    // the clock stands, so the time it cost shows as lag.
    if (!playStart_)
        playStart_ = Clock::now();
    return true;
}

std::string LoadClient::OpenMediaTitle() {
    OpenedMedia media;
    const std::string error = OpenMedia(*connection_, title_, media);
    if (!error.empty())
        return error;
    if (media.status != kStatusSuccess)
        return StatusMeaning(kOpenMediaTitleRequest, media.status);
    batch_.videoIndex = media.videoIndex;
    batch_.audioIndex = media.audioIndex;
    batch_.subtitleIndex = media.subtitleIndex;
    duration_ = std::max<int64_t>(media.duration, 0);
    // After a reconnection the player goes on from where it was.
    batch_.seekWanted = position_ > 0 ? 1 : 0;
    batch_.seekMicroseconds = static_cast<uint64_t>(position_);
    return {};
}

std::string LoadClient::OpenPackagedTitle() {
    std::vector<uint8_t> payload;
    OpenedPackage opened;
    std::string error = OpenPackaged(*connection_, title_, payload, opened);
    if (!error.empty())
        return error;
    if (opened.status != kStatusSuccess)
        return StatusMeaning(kOpenPackagedTitleRequest, opened.status);
    std::vector<uint8_t> records;
    error = FetchAllRecords(*connection_, title_, records);
    if (!error.empty())
        return error;
    size_t unusable = 0;
    ranges_ = DataPieces(records, unusable);
    if (ranges_.empty())
        return "the packaged title names no data";
    nextRange_ = std::min(nextRange_, ranges_.size() - 1);
    return {};
}

bool LoadClient::SeekIsDue() {
    if (!settings_.seekEverySeconds || Clock::now() < nextSeek_)
        return false;
    nextSeek_ += std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(*settings_.seekEverySeconds));
    ++report_.seeks;
    return true;
}

bool LoadClient::Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& payload) {
    std::string error;
    const auto sent = Clock::now();
    if (!connection_->Exchange(request, payload, error)) {
        Fail(error);
        return false;
    }
    report_.latenciesMs.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    report_.bytes += payload.size() + 4;
    return true;
}

bool LoadClient::PullBatch() {
    if (SeekIsDue()) {
        batch_.seekWanted = 1;
        const int64_t span = duration_ > 0 ? duration_ * 9 / 10 : 0;
        batch_.seekMicroseconds = span > 0 ? std::uniform_int_distribution<uint64_t>(
                                                 0, static_cast<uint64_t>(span))(random_)
                                           : 0;
    }
    std::vector<uint8_t> payload;
    if (!Exchange(PacketBatchRequest(batch_), payload))
        return false;
    if (batch_.seekWanted > 0)
        position_ = static_cast<int64_t>(batch_.seekMicroseconds);
    batch_.seekWanted = 0;
    PacketBatch batch;
    std::string error = ParsePacketBatch(std::move(payload), batch);
    if (error.empty() && batch.status == 2)
        error = StatusMeaning(kFetchPacketBatchRequest, batch.status);
    if (!error.empty()) {
        Fail(error);
        return false;
    }
    for (const PacketRecord& packet : batch.packets) {
        if (packet.streamIndex == batch_.videoIndex && IsRealTimeStamp(packet.pts))
            position_ = std::max(position_, packet.pts);
    }
    if (batch.status == 1) {  // the end: the player starts over
        batch_.seekWanted = 1;
        batch_.seekMicroseconds = 0;
        position_ = 0;
    }
    return true;
}

bool LoadClient::PullChunks() {
    if (SeekIsDue())
        nextRange_ = std::uniform_int_distribution<size_t>(0, ranges_.size() - 1)(random_);
    const size_t count = PiecesForOneRequest(ranges_, nextRange_, kPackagedRequestBytes);
    const std::span<const ChunkRequest> pieces = std::span(ranges_).subspan(nextRange_, count);
    std::vector<uint8_t> payload;
    if (!Exchange(FetchPackagedRequest(title_, kNoRecords, pieces), payload))
        return false;
    PackagedData reply;
    std::string error = ParsePackagedData(payload, reply);
    if (error.empty() && reply.status != kStatusSuccess)
        error = StatusMeaning(kFetchPackagedDataRequest, reply.status);
    if (error.empty() && reply.chunks.size() != count)
        error = "the server served " + std::to_string(reply.chunks.size()) + " of " +
                std::to_string(count) + " chunks";
    if (!error.empty()) {
        Fail(error);
        return false;
    }
    nextRange_ = nextRange_ + count >= ranges_.size() ? 0 : nextRange_ + count;
    return true;
}

double LoadClient::RateBytesPerSecond() const {
    return settings_.megabitsPerSecond ? *settings_.megabitsPerSecond * 1e6 / 8 : 0;
}

double LoadClient::PlayedSeconds() const {
    return playStart_ ? std::chrono::duration<double>(Clock::now() - *playStart_).count() : 0;
}

void LoadClient::WaitForRate() {
    const double rate = RateBytesPerSecond();
    if (rate <= 0 || !playStart_)
        return;
    const double dueAt = static_cast<double>(report_.bytes) / rate - kLeadSeconds;
    const auto wakeAt = *playStart_ + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(dueAt));
    const auto runEnds = start_ + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(settings_.seconds));
    while (!Stopping() && Clock::now() < std::min(wakeAt, runEnds))
        std::this_thread::sleep_until(
            std::min({wakeAt, runEnds, Clock::now() + std::chrono::milliseconds(100)}));
}

void LoadClient::NoteLag() {
    const double rate = RateBytesPerSecond();
    if (rate <= 0)
        return;
    const double lag = PlayedSeconds() - static_cast<double>(report_.bytes) / rate;
    report_.worstLagSeconds = std::max(report_.worstLagSeconds, lag);
}

}  // namespace headset
