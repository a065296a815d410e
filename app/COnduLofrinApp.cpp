#include "app/COnduLofrinApp.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

#include "app/COnduLofrinDlg.h"
#include "app/CommandLine.h"
#include "app/StartupSteps.h"
#include "platform/CurrentDirectory.h"
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

bool COnduLofrinApp::InitInstance() {
    QApplication application(argc_, argv_);
    DescribeApplication();
    const std::vector<std::wstring> files = FilesFromCommandLine();
    RunStartupSteps();
    RunMainWindow(files);
    // Also when the service never ran: the worker must have ended and every
    // socket be closed before the process goes.
    service_.StopVideoService();
    return false;
}

std::vector<std::wstring> COnduLofrinApp::FilesFromCommandLine() const {
    const std::vector<std::string> arguments(argv_ + 1, argv_ + argc_);
    CommandLine commandLine = ParseCommandLine(arguments, platform::CurrentDirectory());
    for (const std::string& problem : commandLine.problems) {
        std::fprintf(stderr, "OnduLofrin: %s\n", problem.c_str());
    }
    return std::move(commandLine.files);
}

void COnduLofrinApp::RunMainWindow(const std::vector<std::wstring>& files) {
    COnduLofrinDlg dialog(nullptr, ServicesFor(service_));
    dialog.AddInitialFiles(files);
    dialog.exec();
}
