#include "service/ConnectionLoop.h"

#include "platform/DescriptorLimit.h"
#include "platform/Sleep.h"
#include "service/AnnouncementBroadcast.h"
#include "service/ConnectionAccepting.h"
#include "service/DescriptorShortage.h"
#include "service/LibraryOffer.h"
#include "service/ReplyBudget.h"
#include "service/RequestHandOver.h"
#include "service/SessionWatching.h"
#include "service/SilentConnections.h"
#include "service/StalledReplies.h"

void PollOnce(ServiceState& state) {
    if (state.listenSockets.empty())
        return;
    AnnounceWhenDue(state);
    TakeHandledRequests(state);
    ReleaseStalledSessions(state);
    ReleaseSilentSessions(state);
    OfferLibraryChanges(state);
    ReplyRoom room = MeasureReplyRoom(state);
    const PacingClock::duration wait = WatchSessions(state, room, PacingClock::now());
    WatchListeners(state);
    (void)state.watched.Watch(state.handledRequests.WakeDescriptor(), EPOLLIN);
    (void)state.watched.Watch(state.libraryUpdates.WakeDescriptor(), EPOLLIN);
    if (state.watched.Wait(wait) < 0)
        return;
    ServeReadySessions(state, room);
    AcceptReadyConnections(state);
}

void WorkerThreadProc(ServiceState& state) {
    state.workerRunning = true;
    state.sessionCap = SessionCapFor(platform::DescriptorLimit());
    platform::UsePreciseSleeps();
    while (!state.stopRequested) {
        PollOnce(state);
        // Without a listener a pass neither waits nor serves anything; pause
        // instead of spinning a core until the service is stopped.
        if (state.listenSockets.empty())
            platform::Sleep(static_cast<uint32_t>(kLongestWait.count()));
    }
    state.workerRunning = false;
}
