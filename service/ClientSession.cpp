#include "service/ClientSession.h"

ClientSession::~ClientSession() {
    CloseMedia(*this);
}

void CloseMedia(ClientSession& session) {
    session.titleIndex = -1;
    session.formatContext.reset();
    if (session.streamPrep) {
        session.streamPrep->Reset();
        session.streamPrep.reset();
    }
    session.cacheReader.reset();
    session.fileReader.reset();
    session.readerTitleIndex = -1;
    session.readErrorReported = false;
}
