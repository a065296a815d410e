#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>

#include "catalogue/CatalogueEntry.h"
#include "service/ClientSession.h"

struct AVFormatContext;

// The operator's lines about the headsets, one per event, written through the
// operator log when its detail wants them. Each call costs one relaxed load
// when it does not. The connections, the titles they open and the bytes
// they are sent are also kept in the service's HeadsetTally, whatever the
// detail, for a front end to show.

// Closed and Reset by the headset, Stalled when it stopped reading or
// vanished; Silent when it sent no request within a minute of connecting,
// MadeRoom when it was the quietest connection and the descriptors ran out,
// Failed when its request could not be handled.
enum class ReleaseReason { Closed, Reset, Stalled, Silent, MadeRoom, Failed };

// A connection was accepted from `peer`; remembers the peer and `tally` on
// the session.
void LogConnected(ClientSession& session, const sockaddr* peer, socklen_t peerLength,
                  HeadsetTally* tally = nullptr);

// The socket took `bytes` more of a reply.
void LogSent(ClientSession& session, uint64_t bytes);

// A request came in (only at the Requests detail); counts it.
void LogRequest(ClientSession& session, int32_t requestCode);

void LogDescribed(const ClientSession& session, int32_t titleIndex, const CatalogueEntry& entry);
void LogOpenedMedia(const ClientSession& session, int32_t titleIndex, const CatalogueEntry& entry,
                    const AVFormatContext& format, int32_t video, int32_t audio, int32_t subtitle);
void LogOpenedPackaged(const ClientSession& session, int32_t titleIndex,
                       const CatalogueEntry& entry);
void LogSought(const ClientSession& session, uint64_t microseconds);

// One packaged fetch of `bytes`; a summary line at most once a second.
void LogPackagedFetch(ClientSession& session, uint64_t bytes);

// Why the loop lets a connection go after its last receive gave `received`
// and errno `error`. A headset that stopped reading is released by the loop
// as Stalled without a receive.
ReleaseReason ReleaseReasonOf(ssize_t received, int error);
void LogReleased(const ClientSession& session, ReleaseReason reason);
