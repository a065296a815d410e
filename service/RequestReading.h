#pragma once

#include <optional>

#include "service/OperatorEvents.h"
#include "service/ReplyBudget.h"
#include "service/ServiceState.h"

// Reads the next request from a readable session and hands it to a media
// thread, if the replies held leave room for its reply. Says why the
// session must go when the headset closed or reset the connection.
std::optional<ReleaseReason> ReadRequest(ServiceState& state, ClientSession& session,
                                         ReplyRoom& room);
