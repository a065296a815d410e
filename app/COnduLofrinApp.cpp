#include "app/COnduLofrinApp.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <utility>

#include "app/COnduLofrinDlg.h"
#include "app/CommandLine.h"
#include "app/ServiceOptionsChoice.h"
#include "app/StartupSteps.h"
#include "app/WindowTranslation.h"
#include "platform/CurrentDirectory.h"
#include "platform/ModulePath.h"
#include "platform/OperatorLog.h"
#include "platform/ProgramVersion.h"

namespace {

void DescribeApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("OnduLofrin"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    QCoreApplication::setOrganizationName(QStringLiteral("Ondu"));
    QGuiApplication::setDesktopFileName(QStringLiteral("OnduLofrin"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/OnduLofrin/icon.png")));
}

// How long a window that was closed waits for the service's stop: well
// within the second after which a user takes the program for hung.
constexpr std::chrono::milliseconds kStopAfterClose{700};

// A stop that outlasts the window waits for a read that may never return (a
// share that went away): no thread can be joined past such a read, and the
// memory it reads into must not go while it waits, so the process ends
// without freeing anything; the system closes its sockets and files. The
// list and Config.ini were written as they changed.
[[noreturn]] void EndWithoutWaitingForTheStop() {
    platform::LogForOperator(
        "the service's stop waits for a read that does not return; the program ends without it");
    std::fflush(nullptr);
    _exit(0);
}

}  // namespace

COnduLofrinApp::COnduLofrinApp(char* programName, CommandLine line)
    : qtArgv_{programName, nullptr},
      line_(std::move(line)),
      startDirectory_(platform::CurrentDirectory()) {}

COnduLofrinApp::COnduLofrinApp(int argc, char** argv)
    : COnduLofrinApp(argv[0], ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                               platform::CurrentDirectory())) {}

bool COnduLofrinApp::InitInstance() {
    QApplication application(qtArgc_, qtArgv_);
    DescribeApplication();
    InstallWindowTranslation(
        QLocale::system(), TranslationFolders(QString::fromStdWString(platform::ModuleFileName())));
    firewallOfferDue_ = RunStartupSteps(line_);
    options_ = ChooseServiceOptions(line_, ConfigFilePath(), ProcessEnvironment);
    RunMainWindow(line_.files);
    // Also when the service never ran: the worker must have ended and every
    // socket be closed before the process goes.
    service_.StopVideoService();
    return false;
}

void COnduLofrinApp::RunMainWindow(const std::vector<std::wstring>& files) {
    DialogServices services = ServicesFor(service_, options_);
    KeepListIn(services, ConfigFilePath());
    services.offerFirewall = firewallOfferDue_;
    // Where the program was started, also when its state lives elsewhere.
    services.chooseFiles = [folder = QString::fromStdWString(startDirectory_)](QWidget* parent) {
        return ChooseVideoFiles(parent, folder);
    };
    COnduLofrinDlg dialog(nullptr, services);
    dialog.AddInitialFiles(files);
    dialog.exec();
    if (!dialog.WaitForStop(kStopAfterClose))
        EndWithoutWaitingForTheStop();
}
