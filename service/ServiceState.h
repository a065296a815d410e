#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "archive/bsMemWrite.h"
#include "catalogue/Catalogue.h"
#include "platform/LocalAddresses.h"
#include "platform/Socket.h"
#include "service/ClientSession.h"
#include "service/DescriptorShortage.h"
#include "service/HandledRequests.h"
#include "service/HeadsetTally.h"
#include "service/LibraryUpdates.h"
#include "service/MediaWorkers.h"
#include "service/MemoryBudgets.h"
#include "service/PackagedFiles.h"
#include "service/WatchedSockets.h"

// Everything one service holds while it runs. The thread that starts the
// service fills it before it starts the worker and empties it only after the
// worker and the media threads have ended. While they run, the worker owns
// the sockets and the sessions, except that a session whose request is
// being handled belongs to its media thread until it is handed back. A
// catalogue is read-only but for its entries' use stamps: a change of the
// titles is a new catalogue, which the loop puts in the old one's place.
struct ServiceState {
    // Raised to end the worker; each session's long replies and reads watch it,
    // so it outlives them.
    std::atomic<bool> stopRequested{false};
    // High from the start of the worker until it has left its loop; the stop
    // itself waits by joining the thread.
    std::atomic<bool> workerRunning{false};
    std::vector<platform::Socket> listenSockets;
    std::vector<platform::Socket> discoverySockets;
    // Every address the lookup found, bound or not, in lookup order.
    std::vector<platform::Ipv4Address> localAddresses;
    // The discovery datagram, built once per start, with the first address of
    // localAddresses first.
    bsMemWrite announcement;
    // For each entry of discoverySockets, at the same position: the address it
    // is bound to, and the datagram it sends, which carries that address first
    // so that a headset on that address's network reads one it can reach.
    std::vector<platform::Ipv4Address> discoveryAddresses;
    std::vector<std::vector<uint8_t>> discoveryAnnouncements;
    // The shared titles, built by each start and, while the folders are
    // followed, replaced by the loop as they change. Only the loop's thread
    // reads or replaces the pointer while the worker runs; a request's media
    // work holds the catalogue it was handed, which lives until it is done.
    std::shared_ptr<const Catalogue> catalogue = std::make_shared<const Catalogue>();
    // While the folders are followed: the library as last read, in the
    // folders' order, which the catalogue becomes once no headset is
    // connected; null when they are not. The loop's alone while it runs.
    std::shared_ptr<const Catalogue> library;
    LibraryUpdates libraryUpdates;
    // The files left out beyond the title limit that the operator was told of, sorted.
    std::vector<std::wstring> beyondLimitTold;
    // Open connections in the order they were accepted.
    std::vector<std::unique_ptr<ClientSession>> sessions;
    // What the headsets do, for a front end; the sessions' events keep it.
    HeadsetTally headsets;
    // The packaged titles open on the sessions, each with one block cache.
    PackagedFiles packagedFiles;
    // The replies held for all headsets together stay within this (see
    // the connection loop); set by each start from the memory it may use.
    size_t replyBudgetBytes = kReplyBudget;
    // The requests' media work, and the way back to the loop when it is done.
    MediaWorkers mediaWorkers;
    HandledRequests handledRequests;

    // TimeGetTime of the last announcement; 0 when the state is made, never reset.
    uint32_t lastBroadcast = 0;
    // The sockets the loop waits on, kept between passes.
    WatchedSockets watched;
    // Where a pass starts serving the sessions that are ready: one further
    // each pass, so that when the reply budget lets only some requests in,
    // the same sessions are not always first.
    size_t firstSessionToServe = 0;
    // The most connections held at once: below the descriptor limit, with
    // room left for the titles the headsets open. Set when the worker starts.
    size_t sessionCap = SIZE_MAX;
    DescriptorShortage shortage;

    // The worker thread, joined by StopVideoService.
    std::thread workerThread;
};
