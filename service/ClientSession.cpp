#include "service/ClientSession.h"

void CloseMedia(ClientSession& session) {
    session.titleIndex = -1;
    session.media.reset();
    session.packaged.reset();
}
