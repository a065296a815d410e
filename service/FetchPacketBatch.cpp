#include "service/FetchPacketBatch.h"

extern "C" {
#include <libavutil/error.h>
}

#include <string>

#include "platform/MediaInput.h"
#include "platform/OperatorLog.h"
#include "protocol/Replies.h"
#include "protocol/Requests.h"
#include "service/OperatorEvents.h"
#include "service/SessionReply.h"
#include "streaming/PacketBatchWriter.h"

namespace {

// The end of the media and a stop are no news; anything else is, once per
// opened title.
void ReportReadError(OpenMediaFile& media, int error) {
    if (error == AVERROR_EOF || error == AVERROR_EXIT || media.readErrorReported)
        return;
    media.readErrorReported = true;
    const AVFormatContext& format = *media.formatContext;
    platform::LogForOperator(std::string("reading ") + format.url + " failed: " +
                             FfmpegErrorText(error) + "; the headset is told the media has ended");
}

}  // namespace

void FetchPacketBatch(bsMemRead& request, ClientSession& session, const Catalogue&) {
    protocol::FetchPacketBatchRequest wanted;
    wanted.Serialize(request);
    if (!session.media) {
        QueueStatusReply<protocol::PacketBatchHead>(session, kBatchStatusNoMediaOpen);
        return;
    }

    OpenMediaFile& media = *session.media;
    AVFormatContext& format = *media.formatContext;
    AVBSFContext* filter = media.streamPrep.AnnexBFilter();
    if (wanted.seekWanted > 0) {
        streaming::SeekMedia(format, filter, wanted.seekMicroseconds);
        LogSought(session, wanted.seekMicroseconds);
    }

    protocol::PacketBatchHead head;
    bsMemWrite reply;
    head.Serialize(reply);
    const streaming::BatchEnd end = streaming::WritePacketBatch(
        reply, format, filter, {wanted.videoIndex, wanted.audioIndex, wanted.subtitleIndex});
    head.count = end.records;
    if (end.endOfMedia) {
        ReportReadError(media, end.readError);
        head.status = kBatchStatusEndOfMedia;
    }
    // The head goes again over its placeholder, now that its count is known.
    const std::vector<uint8_t> headBytes = protocol::Encoded(head);
    std::copy(headBytes.begin(), headBytes.end(), reply.Buffer().begin());
    QueueReply(session, ReplyParts{std::move(reply.Buffer()), {}, {}});
}
