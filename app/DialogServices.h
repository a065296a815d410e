#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/FirewallConsentBox.h"
#include "app/FirewallFinding.h"
#include "app/FirewallHelper.h"
#include "app/KeptList.h"
#include "app/NoticeBox.h"
#include "app/VideoFileDialog.h"
#include "platform/ModulePath.h"
#include "platform/PathBytes.h"
#include "service/HeadsetTally.h"
#include "service/VideoService.h"

class QWidget;

// What the main window needs from outside itself: the service operations,
// the file dialog, the message box, where its list is kept, and the
// firewall. Tests put their own in to drive the window and watch what it
// does.
struct DialogServices {
    // Runs on a thread of the window's; `build` brings the start's progress
    // listener and its cancel flag.
    using StartService = std::function<StartReport(const std::vector<std::wstring>& paths,
                                                   const CatalogueBuildOptions& build)>;
    using StopService = std::function<void()>;
    using ChooseFiles = std::function<QStringList(QWidget* parent)>;
    using ShowNotice =
        std::function<void(QWidget* parent, const QString& text, const QString& caption)>;
    using ViewHeadsets = std::function<HeadsetView()>;
    using ReadList = std::function<std::vector<std::wstring>()>;
    using KeepList = std::function<void(const std::vector<std::wstring>& paths)>;
    using FindFirewall = std::function<std::optional<FirewallFinding>()>;
    using AskConsent = std::function<bool(QWidget* parent, const FirewallFinding& finding)>;
    // Runs off the window's thread: polkit may wait for a password.
    using LetHeadsetsIn = std::function<bool(const FirewallFinding& finding)>;

    StartService startVideoService;
    StopService stopVideoService;
    ChooseFiles chooseFiles = [](QWidget* parent) { return ChooseVideoFiles(parent); };
    ShowNotice showNotice = ShowNoticeBox;
    // What the headsets of the running service do; no headsets when empty.
    ViewHeadsets viewHeadsets;
    // The list the last run kept, and where each change of the list goes;
    // when empty, the list starts empty and is kept nowhere.
    ReadList readKeptList;
    KeepList keepList;
    // At the first start that serves, when set: a firewall that keeps
    // headsets out is told of, with the offer to let them in.
    bool offerFirewall = false;
    FindFirewall findFirewall = FindFirewallKeepingHeadsetsOut;
    AskConsent askFirewallConsent = AskFirewallConsent;
    LetHeadsetsIn letHeadsetsIn = [](const FirewallFinding& finding) {
        return LetHeadsetsInThroughHelper(
            finding, FirewallHelperPath(platform::PathToOsBytes(platform::ModuleFileName())));
    };
};

// The real operations on `service`, started with `options` for the listed
// paths, the real file dialog and message box.
inline DialogServices ServicesFor(VideoService& service, ServiceOptions options = {}) {
    DialogServices services;
    services.startVideoService = [&service, options](const std::vector<std::wstring>& paths,
                                                     const CatalogueBuildOptions& build) {
        ServiceOptions start = options;
        start.paths = paths;
        return service.StartVideoService(start, build);
    };
    services.stopVideoService = [&service] { service.StopVideoService(); };
    services.viewHeadsets = [&service] { return service.Headsets(); };
    return services;
}

// The list kept in the Config.ini at `configPath` between runs.
inline void KeepListIn(DialogServices& services, const std::wstring& configPath) {
    services.readKeptList = [configPath] { return ReadKeptList(configPath); };
    services.keepList = [configPath](const std::vector<std::wstring>& paths) {
        (void)WriteKeptList(configPath, paths);
    };
}
