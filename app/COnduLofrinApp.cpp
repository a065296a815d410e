#include "app/COnduLofrinApp.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

#include <utility>

#include "app/COnduLofrinDlg.h"
#include "app/CommandLine.h"
#include "app/ServiceOptionsChoice.h"
#include "app/StartupSteps.h"
#include "app/WindowTranslation.h"
#include "platform/CurrentDirectory.h"
#include "platform/ModulePath.h"
#include "platform/ProgramVersion.h"

namespace {

void DescribeApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("OnduLofrin"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    QCoreApplication::setOrganizationName(QStringLiteral("Ondu"));
    QGuiApplication::setDesktopFileName(QStringLiteral("OnduLofrin"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/OnduLofrin/icon.png")));
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
    RunStartupSteps(line_);
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
    // Where the program was started, also when its state lives elsewhere.
    services.chooseFiles = [folder = QString::fromStdWString(startDirectory_)](QWidget* parent) {
        return ChooseVideoFiles(parent, folder);
    };
    COnduLofrinDlg dialog(nullptr, services);
    dialog.AddInitialFiles(files);
    dialog.exec();
}
