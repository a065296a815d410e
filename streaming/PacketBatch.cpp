#include "streaming/PacketBatch.h"

// Packet batches are not served yet: the request goes unanswered.
void FetchPacketBatch(bsMemRead&, ClientSession&) {}
