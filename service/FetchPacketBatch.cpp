#include "service/FetchPacketBatch.h"

extern "C" {
#include <libavutil/error.h>
}

#include <string>

#include "platform/OperatorLog.h"
#include "protocol/ReplyWriter.h"
#include "protocol/RequestCodes.h"
#include "service/OperatorEvents.h"
#include "service/SessionReply.h"
#include "streaming/PacketBatchWriter.h"

namespace {

constexpr int32_t kReplyCode = ReplyCodeFor(kFetchPacketBatchRequest);

struct BatchRequest {
    int32_t seekWanted = 0;
    uint64_t seekPosition = 0;
    streaming::BatchStreams streams;
};

BatchRequest ReadBatchRequest(bsMemRead& request) {
    BatchRequest fields;
    request.Serialize(fields.seekWanted).Serialize(fields.seekPosition);
    request.Serialize(fields.streams.video)
        .Serialize(fields.streams.audio)
        .Serialize(fields.streams.subtitle);
    return fields;
}

// The end of the media and a stop are no news; anything else is, once per
// opened title.
void ReportReadError(OpenMediaFile& media, int error) {
    if (error == AVERROR_EOF || error == AVERROR_EXIT || media.readErrorReported)
        return;
    media.readErrorReported = true;
    const AVFormatContext& format = *media.formatContext;
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, reason, sizeof reason);
    platform::LogForOperator(std::string("reading ") + format.url + " failed: " + reason +
                             "; the headset is told the media has ended");
}

}  // namespace

void FetchPacketBatch(bsMemRead& request, ClientSession& session) {
    const BatchRequest wanted = ReadBatchRequest(request);
    bsMemWrite reply;
    if (!session.media) {
        WriteReplyHead(reply, kReplyCode, kBatchStatusNoMediaOpen);
        int32_t noRecords = 0;
        reply.Serialize(noRecords);
        QueueReply(session, reply);
        return;
    }

    OpenMediaFile& media = *session.media;
    AVFormatContext& format = *media.formatContext;
    AVBSFContext* filter = media.streamPrep.AnnexBFilter();
    if (wanted.seekWanted > 0) {
        streaming::SeekMedia(format, filter, wanted.seekPosition);
        LogSought(session, wanted.seekPosition);
    }

    WriteReplyHead(reply, kReplyCode, kStatusSuccess);
    const streaming::BatchEnd end =
        streaming::WritePacketBatch(reply, format, filter, wanted.streams);
    if (end.endOfMedia) {
        ReportReadError(media, end.readError);
        SetReplyStatus(reply, kBatchStatusEndOfMedia);
    }
    QueueReply(session, reply);
}
