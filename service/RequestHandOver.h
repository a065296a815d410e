#pragma once

#include <cstdint>
#include <vector>

#include "service/ReplyBudget.h"
#include "service/ServiceState.h"

// A session goes to a media thread with its request, or with a reply whose
// next file bytes are not in memory, and comes back to the loop through
// handledRequests once the thread is done. Until then the loop leaves it
// alone. When no thread can take it, or the work fails, it comes back marked
// as failed and the loop ends the connection.

// Hands the request over to be handled; keeps the largest reply it may get
// in the budget meanwhile.
void HandOverRequest(ServiceState& state, ClientSession& session, std::vector<uint8_t> request,
                     ReplyRoom& room);

// Hands the session over to bring the file bytes its reply sends next into
// memory.
void HandOverForData(ServiceState& state, ClientSession& session);

// Takes back the sessions the media threads are done with: sends the first
// piece of each reply when its pacing allows, and releases the sessions
// whose work failed.
void TakeHandledRequests(ServiceState& state);
