// Stand-in for the network service until it lands: keeps the paths it was
// given and reports more than 32 of them like the service start does.
#include <string>
#include <vector>

#include "service/VideoService.h"

namespace {

std::vector<std::wstring> givenPaths;

}  // namespace

void StartVideoService(const std::vector<std::wstring>& paths, MessageBoxOwner* ownerWindow) {
    givenPaths = paths;
    if (paths.size() > 32 && ownerWindow != nullptr) {
        ownerWindow->ShowMessage(L"Lofrin最多添加32个视频！", L"提示");
    }
}

void StopVideoService() {}
