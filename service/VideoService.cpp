#include "service/VideoService.h"

#include "catalogue/Catalogue.h"
#include "platform/Sleep.h"
#include "service/ConnectionLoop.h"
#include "service/DirectoryRegistration.h"
#include "service/Endpoints.h"
#include "service/ServiceState.h"

namespace {

const wchar_t kTooManyVideos[] = L"Lofrin最多添加32个视频！";
const wchar_t kNoticeCaption[] = L"提示";

void StartWorker() {
    stopRequested = false;
    // Raised before the thread exists, so that a stop coming at once still
    // waits for the worker instead of tearing the state down under it.
    workerRunning = true;
    workerThread = std::thread(WorkerThreadProc);
}

}  // namespace

void StartVideoService(const std::vector<std::wstring>& paths, MessageBoxOwner* ownerWindow) {
    BuildCatalogue(paths);
    if (!OpenListenSockets())
        return;
    if (!OpenDiscoverySockets())
        return;
    BuildAnnouncement();
    RegisterWithDirectory();
    StartWorker();
    if (paths.size() > MAX_TITLES && ownerWindow != nullptr) {
        ownerWindow->ShowMessage(kTooManyVideos, kNoticeCaption);
    }
}

void StopVideoService() {
    const bool wasRunning = workerRunning;
    stopRequested = true;
    if (wasRunning) {
        while (workerRunning)
            platform::Sleep(10);
    }
    if (workerThread.joinable())
        workerThread.join();

    for (platform::Socket& socket : listenSockets)
        socket.Close();
    for (platform::Socket& socket : discoverySockets)
        socket.Close();
    localAddresses.clear();
    listenSockets.clear();
    discoverySockets.clear();
    discoveryAddresses.clear();
    discoveryAnnouncements.clear();

    catalogue.clear();

    // Each session releases its media before its socket closes.
    for (std::unique_ptr<ClientSession>& session : sessions)
        session.reset();
    sessions.clear();
}
