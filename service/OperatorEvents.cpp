#include "service/OperatorEvents.h"

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavformat/avformat.h>
}

#include <netinet/in.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Clock.h"
#include "platform/LocalAddresses.h"
#include "platform/OperatorLog.h"
#include "service/HeadsetTally.h"

namespace {

using platform::OperatorDetail;

constexpr uint32_t kFetchSummaryPeriodMs = 1000;

bool Wanted(OperatorDetail detail) {
    return platform::OperatorWants(detail);
}

std::string Headset(const ClientSession& session) {
    return "headset " + session.activity.peer;
}

std::string TitleText(int32_t titleIndex, const CatalogueEntry& entry) {
    return "title " + std::to_string(titleIndex) + " (" + entry.title + ")";
}

std::string StreamText(const char* kind, const AVFormatContext& format, int32_t index) {
    if (index < 0 || static_cast<unsigned>(index) >= format.nb_streams)
        return std::string("no ") + kind;
    const AVCodecParameters* parameters = format.streams[index]->codecpar;
    std::string text = std::string(kind) + " " + std::to_string(index);
    if (parameters != nullptr)
        text += std::string(" ") + avcodec_get_name(parameters->codec_id);
    return text;
}

const char* ReasonText(ReleaseReason reason) {
    switch (reason) {
        case ReleaseReason::Closed:
            return "closed";
        case ReleaseReason::Reset:
            return "reset";
        case ReleaseReason::Stalled:
            return "stalled";
        case ReleaseReason::Silent:
            return "no request in 60 s";
        case ReleaseReason::MadeRoom:
            return "silent longest, closed for a new connection";
        case ReleaseReason::Failed:
            return "request failed";
    }
    return "closed";
}

void WriteFetchSummary(ClientSession& session, uint32_t now) {
    SessionActivity& activity = session.activity;
    char line[160];
    std::snprintf(line, sizeof line, " fetched packaged data: %u replies, %.1f MiB in %.1f s",
                  activity.fetchesSinceSummary,
                  static_cast<double>(activity.fetchedBytesSinceSummary) / (1024.0 * 1024.0),
                  static_cast<double>(now - activity.lastFetchSummaryMs) / 1000.0);
    platform::LogForOperator(Headset(session) + line);
    activity.fetchesSinceSummary = 0;
    activity.fetchedBytesSinceSummary = 0;
    activity.lastFetchSummaryMs = now;
}

void TallyOpened(const ClientSession& session, const CatalogueEntry& entry) {
    if (session.activity.tally != nullptr)
        session.activity.tally->Opened(&session, entry.title);
}

}  // namespace

void LogConnected(ClientSession& session, const sockaddr* peer, socklen_t peerLength,
                  HeadsetTally* tally) {
    if (peer != nullptr && peer->sa_family == AF_INET && peerLength >= sizeof(sockaddr_in)) {
        const auto* address = reinterpret_cast<const sockaddr_in*>(peer);
        platform::Ipv4Address bytes{};
        std::memcpy(bytes.data(), &address->sin_addr, bytes.size());
        session.activity.peer =
            platform::FormatIpv4Address(bytes) + ":" + std::to_string(ntohs(address->sin_port));
    } else {
        session.activity.peer = "(unknown address)";
    }
    session.activity.lastFetchSummaryMs = platform::TimeGetTime();
    session.activity.tally = tally;
    if (tally != nullptr)
        tally->Connected(&session);
    if (Wanted(OperatorDetail::Events))
        platform::LogForOperator(Headset(session) + " connected");
}

void LogSent(ClientSession& session, uint64_t bytes) {
    session.activity.bytesSent += bytes;
    if (session.activity.tally != nullptr)
        session.activity.tally->Sent(bytes);
}

void LogRequest(ClientSession& session, int32_t requestCode) {
    ++session.activity.requestsServed;
    if (Wanted(OperatorDetail::Requests))
        platform::LogForOperator(Headset(session) + " request " + std::to_string(requestCode));
}

void LogDescribed(const ClientSession& session, int32_t titleIndex, const CatalogueEntry& entry) {
    if (Wanted(OperatorDetail::Events))
        platform::LogForOperator(Headset(session) + " described " + TitleText(titleIndex, entry));
}

void LogOpenedMedia(const ClientSession& session, int32_t titleIndex, const CatalogueEntry& entry,
                    const AVFormatContext& format, int32_t video, int32_t audio, int32_t subtitle) {
    TallyOpened(session, entry);
    if (!Wanted(OperatorDetail::Events))
        return;
    platform::LogForOperator(Headset(session) + " opened " + TitleText(titleIndex, entry) + ": " +
                             StreamText("video", format, video) + ", " +
                             StreamText("audio", format, audio) + ", " +
                             StreamText("subtitle", format, subtitle));
}

void LogOpenedPackaged(const ClientSession& session, int32_t titleIndex,
                       const CatalogueEntry& entry) {
    TallyOpened(session, entry);
    if (Wanted(OperatorDetail::Events)) {
        platform::LogForOperator(Headset(session) + " opened " + TitleText(titleIndex, entry) +
                                 ": packaged movie");
    }
}

void LogSought(const ClientSession& session, uint64_t microseconds) {
    if (!Wanted(OperatorDetail::Events))
        return;
    char position[48];
    std::snprintf(position, sizeof position, " sought to %.3f s",
                  static_cast<double>(microseconds) / 1e6);
    platform::LogForOperator(Headset(session) + position);
}

void LogPackagedFetch(ClientSession& session, uint64_t bytes) {
    SessionActivity& activity = session.activity;
    ++activity.fetchesSinceSummary;
    activity.fetchedBytesSinceSummary += bytes;
    if (!Wanted(OperatorDetail::Events))
        return;
    const uint32_t now = platform::TimeGetTime();
    if (static_cast<uint32_t>(now - activity.lastFetchSummaryMs) >= kFetchSummaryPeriodMs)
        WriteFetchSummary(session, now);
}

ReleaseReason ReleaseReasonOf(ssize_t received, int error) {
    if (received == 0)
        return ReleaseReason::Closed;
    // Keep-alive probes that went unanswered: the headset vanished.
    if (error == ETIMEDOUT)
        return ReleaseReason::Stalled;
    return ReleaseReason::Reset;
}

void LogReleased(const ClientSession& session, ReleaseReason reason) {
    if (session.activity.tally != nullptr)
        session.activity.tally->Released(&session);
    if (!Wanted(OperatorDetail::Events))
        return;
    const SessionActivity& activity = session.activity;
    char totals[96];
    std::snprintf(totals, sizeof totals, ", %" PRIu64 " bytes sent, %" PRIu64 " requests served",
                  activity.bytesSent, activity.requestsServed);
    platform::LogForOperator(Headset(session) + " released (" + ReasonText(reason) + ")" + totals);
}
