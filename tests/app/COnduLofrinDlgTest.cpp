#include <QDesktopServices>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <fstream>

#include "app/COnduLofrinDlg.h"
#include "app/WindowTranslation.h"
#include "platform/Ipv4SocketAddress.h"
#include "platform/LocalAddresses.h"
#include "platform/PathBytes.h"
#include "platform/Socket.h"
#include "protocol/ServiceConstants.h"
#include "support/PrivateNetwork.h"
#include "support/SanitizerSlowdown.h"
#include "support/SlowDisk.h"
#include "support/TempDir.h"
#include "support/TestMedia.h"
#include "tools/headset/HeadsetExchanges.h"

namespace {

// Ticks every 10 ms on the window's thread and keeps the longest wait between
// two ticks: how long the window's event loop went without answering.
struct WindowThreadGaps {
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longest = 0;
    QTimer ticker;

    WindowThreadGaps() {
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            longest = std::max(longest, clock.elapsed() - lastTick);
            lastTick = clock.elapsed();
        });
        clock.start();
        ticker.start();
    }
};

}  // namespace

namespace {

const QString kNotice = QStringLiteral("提示");
const QString kEmptyListText =
    QStringLiteral("请在右侧列表中选上需要Lofrin的视频文件vrm、vrw、mp4、mov、mkv、ts等视频文件！");
const QString kTooManyText = QStringLiteral("Lofrin最多添加32个视频！");

using Paths = std::vector<std::wstring>;

// Stands in for the world around the window and writes down what it is asked.
// The start runs on a thread of the window's; what it writes down is read
// once the window has shown the start's end.
struct Recorder {
    QList<QStringList> batches;  // handed out by the file chooser, one per call
    std::vector<Paths> starts;
    int stops = 0;
    QList<QPair<QString, QString>> notices;
    QList<Qt::CursorShape> cursorAtNotice;

    // `startService` does the work of a start after it has been written down.
    DialogServices Services(DialogServices::StartService startService = {}) {
        DialogServices services;
        services.startVideoService = [this, startService](const Paths& paths,
                                                          const CatalogueBuildOptions& build) {
            starts.push_back(paths);
            return startService ? startService(paths, build) : Listening();
        };
        services.stopVideoService = [this] { ++stops; };
        services.chooseFiles = [this](QWidget*) {
            return batches.isEmpty() ? QStringList() : batches.takeFirst();
        };
        services.showNotice = [this](QWidget*, const QString& text, const QString& caption) {
            notices.append({text, caption});
            cursorAtNotice.append(CurrentCursor());
        };
        return services;
    }

    // What a start that opened its listener reports.
    static StartReport Listening() {
        StartReport report;
        report.addresses.push_back({{127, 0, 0, 1}, EndpointOutcome{true, {}}, std::nullopt});
        report.workerStarted = true;
        return report;
    }

    static Qt::CursorShape CurrentCursor() {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor != nullptr ? cursor->shape() : kNoOverride;
    }
    static constexpr Qt::CursorShape kNoOverride = Qt::BitmapCursor;
};

// A real service on loopback that registers nowhere.
ServiceOptions LoopbackOptions() {
    ServiceOptions options;
    options.bindAddresses = {{{127, 0, 0, 1}}};
    options.directoryOrigin = std::nullopt;
    return options;
}

// The window's controls, found by their kind and text.
struct Controls {
    explicit Controls(COnduLofrinDlg& dialog) {
        list = dialog.findChild<QListWidget*>();
        link = dialog.findChild<QLabel*>();
        progress = dialog.findChild<QProgressBar*>();
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            const QString text = button->text();
            if (text == QStringLiteral("开启Lofrin服务"))
                start = button;
            if (text == QStringLiteral("停止Lofrin服务"))
                stop = button;
            if (text == QStringLiteral("添加视频文件"))
                add = button;
            if (text == QStringLiteral("删除"))
                remove = button;
            if (text == QStringLiteral("取消"))
                cancel = button;
        }
    }

    QStringList Items() const {
        QStringList items;
        for (int row = 0; row < list->count(); ++row)
            items.append(list->item(row)->text());
        return items;
    }
    QList<int> SelectedRows() const {
        QList<int> rows;
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->isSelected())
                rows.append(row);
        }
        return rows;
    }
    bool Idle() const {
        return !start->isHidden() && stop->isHidden() && add->isEnabled() && remove->isEnabled() &&
               progress->isHidden() && cancel->isHidden();
    }
    bool Serving() const {
        return start->isHidden() && !stop->isHidden() && !add->isEnabled() && !remove->isEnabled();
    }

    QString Status(COnduLofrinDlg& dialog) const {
        return dialog.findChild<QLabel*>(QStringLiteral("headsetStatus"))->text();
    }

    QListWidget* list = nullptr;
    QLabel* link = nullptr;
    QPushButton* start = nullptr;
    QPushButton* stop = nullptr;
    QPushButton* add = nullptr;
    QPushButton* remove = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* cancel = nullptr;
};

void Touch(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path).put('x');
}

// What a file manager sends when the files at `paths` are dropped on the
// list. Qt hands a drop only to the widget its own drag manager chose, so the
// drop goes to the window's filter of the list as that manager would bring it.
// True when the drag was welcome.
bool Drop(COnduLofrinDlg& dialog, QListWidget* list,
          const std::vector<std::filesystem::path>& paths) {
    QList<QUrl> urls;
    for (const auto& path : paths)
        urls.append(QUrl::fromLocalFile(QString::fromStdString(path.string())));
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(dialog).eventFilter(list->viewport(), &drop);
    return enter.isAccepted();
}

Paths Wide(const QStringList& items) {
    Paths paths;
    for (const QString& item : items)
        paths.push_back(item.toStdWString());
    return paths;
}

}  // namespace

class COnduLofrinDlgTest : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE void OpenUrl(const QUrl& url) { openedUrls.append(url); }
    QList<QUrl> openedUrls;

private slots:
    void addedBatchesGoToTheTopAndStartPassesTheListInOrder();
    void deletingRemovesExactlyTheSelectedItems();
    void emptyListShowsTheNoticeAndStaysIdle();
    void fortyItemsStartTheServiceAndTheServiceReportsTheLimit();
    void startCommandWhileServingIsIgnored();
    void aSlowStartLeavesTheWindowAnsweringAndCancelRestoresIt();
    void takenPortGivesANoticeInsteadOfServing();
    void controlsStandAtTheirPlaces();
    void linkOpensTheDownloadAddress();
    void namesThatAreNotUtf8ReachTheServiceAsTheirBytes();
    void languageFollowsTheLocaleAndFallsBackToTheSourceTexts();
    void droppedFilesAndFoldersAreAddedInOrderExpandedOnce();
    void theListComesBackAfterARestartWithGoneFilesMarked();
    void statusLineFollowsAHeadsetThatConnectsOpensAndLeaves();
    void aStopThatWaitsForASleepingDiskLeavesTheWindowAnswering();
    void aFirewallThatKeepsHeadsetsOutIsOfferedOnceWithTheAnswerTold();
};

void COnduLofrinDlgTest::addedBatchesGoToTheTopAndStartPassesTheListInOrder() {
    Recorder recorder;
    recorder.batches = {{"/v/A.mp4", "/v/B.mkv", "/v/C.vrm"}, {}, {"/v/D.ts", "/v/A.mp4"}};
    COnduLofrinDlg dialog(nullptr, recorder.Services());
    Controls controls(dialog);
    QVERIFY(controls.Idle());

    controls.add->click();
    QCOMPARE(controls.Items(), QStringList({"/v/C.vrm", "/v/B.mkv", "/v/A.mp4"}));
    QCOMPARE(controls.SelectedRows(), QList<int>{0});

    controls.add->click();  // cancelled: nothing changes
    QCOMPARE(controls.Items().size(), 3);

    controls.add->click();  // the same file twice makes two items
    QCOMPARE(controls.Items(),
             QStringList({"/v/A.mp4", "/v/D.ts", "/v/C.vrm", "/v/B.mkv", "/v/A.mp4"}));
    QCOMPARE(controls.SelectedRows(), QList<int>{2});

    controls.list->clearSelection();  // nothing selected still passes every item
    controls.start->click();
    QTRY_VERIFY(controls.Serving());
    QCOMPARE(recorder.starts.size(), size_t{1});
    QCOMPARE(recorder.starts[0], Wide(controls.Items()));
    QCOMPARE(Recorder::CurrentCursor(), Recorder::kNoOverride);
    QVERIFY(recorder.notices.isEmpty());

    const QStringList before = controls.Items();
    controls.stop->click();
    QTRY_VERIFY(controls.Idle());
    QCOMPARE(recorder.stops, 1);
    QCOMPARE(controls.Items(), before);
}

void COnduLofrinDlgTest::deletingRemovesExactlyTheSelectedItems() {
    Recorder recorder;
    COnduLofrinDlg dialog(nullptr, recorder.Services());
    Controls controls(dialog);
    dialog.AddInitialFiles({L"/v/0", L"/v/1", L"/v/2", L"/v/3", L"/v/4", L"/v/5"});
    QCOMPARE(controls.Items(), QStringList({"/v/0", "/v/1", "/v/2", "/v/3", "/v/4", "/v/5"}));
    QCOMPARE(controls.SelectedRows(), QList<int>{0});

    controls.list->clearSelection();
    controls.remove->click();
    QCOMPARE(controls.Items().size(), 6);

    for (const int row : {1, 3, 4})
        controls.list->item(row)->setSelected(true);
    controls.remove->click();
    QCOMPARE(controls.Items(), QStringList({"/v/0", "/v/2", "/v/5"}));
    QVERIFY(controls.SelectedRows().isEmpty());
}

void COnduLofrinDlgTest::emptyListShowsTheNoticeAndStaysIdle() {
    Recorder recorder;
    COnduLofrinDlg dialog(nullptr, recorder.Services());
    Controls controls(dialog);
    controls.start->click();
    QCOMPARE(recorder.notices, (QList<QPair<QString, QString>>{{kEmptyListText, kNotice}}));
    QVERIFY(recorder.starts.empty());
    QVERIFY(controls.Idle());
}

// Runs the real service start, which takes the first 32 paths and tells the
// user about the rest after it has started.
void COnduLofrinDlgTest::fortyItemsStartTheServiceAndTheServiceReportsTheLimit() {
    QTemporaryDir folder;
    Recorder recorder;
    VideoService service;
    COnduLofrinDlg dialog(nullptr, recorder.Services(ServicesFor(service).startVideoService));
    Controls controls(dialog);
    QStringList names;
    for (int i = 0; i < 40; ++i)
        names.append(folder.filePath(QStringLiteral("absent-%1.mp4").arg(i)));
    recorder.batches = {names};
    controls.add->click();

    controls.start->click();
    QTRY_VERIFY(controls.Serving());
    QCOMPARE(recorder.starts.size(), size_t{1});
    QCOMPARE(recorder.starts[0].size(), size_t{40});
    QCOMPARE(recorder.starts[0], Wide(controls.Items()));
    QTRY_COMPARE(recorder.notices, (QList<QPair<QString, QString>>{{kTooManyText, kNotice}}));
    // Each file left out says why when the pointer rests on it.
    QCOMPARE(controls.list->item(39)->toolTip(),
             QStringLiteral("未能共享：beyond the first 32 files"));
    // The box is shown with the ordinary pointer, not a wait cursor.
    QCOMPARE(recorder.cursorAtNotice, QList<Qt::CursorShape>{Recorder::kNoOverride});

    service.StopVideoService();
}

void COnduLofrinDlgTest::startCommandWhileServingIsIgnored() {
    Recorder recorder;
    COnduLofrinDlg dialog(nullptr, recorder.Services());
    Controls controls(dialog);
    dialog.AddInitialFiles({L"/v/a.mp4"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    controls.start->click();
    dialog.OnStartService();  // while it starts
    QTRY_VERIFY(controls.Serving());

    dialog.OnStartService();
    controls.list->setFocus();
    QTest::keyClick(controls.list, Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Enter);
    QCOMPARE(recorder.starts.size(), size_t{1});
    QVERIFY(controls.Serving());
    QVERIFY(dialog.isVisible());
}

// Twenty titles of 100 ms each, unless the start is cancelled, which it
// notices within 10 ms.
StartReport SlowStart(const Paths&, const CatalogueBuildOptions& build) {
    constexpr size_t kTitles = 20;
    for (size_t read = 0; read <= kTitles; ++read) {
        build.onProgress(read, kTitles);
        for (int tick = 0; tick < 10 && read < kTitles; ++tick) {
            if (build.cancel->load()) {
                StartReport cancelled;
                cancelled.cancelled = true;
                return cancelled;
            }
            QThread::msleep(10);
        }
    }
    return Recorder::Listening();
}

void COnduLofrinDlgTest::aSlowStartLeavesTheWindowAnsweringAndCancelRestoresIt() {
    Recorder recorder;
    COnduLofrinDlg dialog(nullptr, recorder.Services(SlowStart));
    Controls controls(dialog);
    dialog.AddInitialFiles({L"/v/a.mp4", L"/v/b.mkv", L"/v/c.ts"});
    controls.list->item(2)->setSelected(true);
    const QStringList items = controls.Items();
    const QList<int> selected = controls.SelectedRows();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // A timer of the window's thread, and the longest it waited for its turn.
    WindowThreadGaps gaps;
    const qint64& longestGap = gaps.longest;

    controls.start->click();
    QVERIFY(controls.start->isHidden() && !controls.progress->isHidden());
    QVERIFY(!controls.add->isEnabled() && !controls.remove->isEnabled());
    QTRY_COMPARE(controls.progress->text(), QStringLiteral("正在读取视频 2/20"));
    QTRY_COMPARE(controls.progress->text(), QStringLiteral("正在读取视频 5/20"));
    controls.cancel->click();
    QElapsedTimer cancelled;
    cancelled.start();
    QTRY_VERIFY(controls.Idle());
    QVERIFY2(cancelled.elapsed() < 1000, "the cancel took a second or more");
    QVERIFY(longestGap < 100);

    QCOMPARE(controls.Items(), items);
    QCOMPARE(controls.SelectedRows(), selected);
    QCOMPARE(recorder.starts.size(), size_t{1});
    QCOMPARE(recorder.stops, 0);
    QVERIFY(recorder.notices.isEmpty());
    QVERIFY(controls.start->hasFocus());
}

// The real service on loopback in a network of the test's own, where the
// test holds the port first.
void COnduLofrinDlgTest::takenPortGivesANoticeInsteadOfServing() {
    EnterPrivateNetwork();
    platform::Socket taken(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    QCOMPARE(platform::BindIpv4(taken.Descriptor(), INADDR_LOOPBACK, servicePort), 0);

    Recorder recorder;
    VideoService service;
    DialogServices services =
        recorder.Services(ServicesFor(service, LoopbackOptions()).startVideoService);
    services.stopVideoService = [&] {
        ++recorder.stops;
        service.StopVideoService();
    };
    COnduLofrinDlg dialog(nullptr, services);
    Controls controls(dialog);
    dialog.AddInitialFiles({L"/v/a.mp4"});
    controls.start->click();
    QTRY_VERIFY(!dialog.IsStarting());

    const QString reason = QStringLiteral(
        "Lofrin服务未能开启：端口23107无法监听（127.0.0.1: bind: Address already in use）");
    QCOMPARE(recorder.notices, (QList<QPair<QString, QString>>{{reason, kNotice}}));
    QCOMPARE(recorder.stops, 1);
    QVERIFY(controls.Idle());
}

void COnduLofrinDlgTest::controlsStandAtTheirPlaces() {
    Recorder recorder;
    COnduLofrinDlg dialog(nullptr, recorder.Services());
    Controls controls(dialog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("OnduLofrin 1.04版"));
    QCOMPARE(dialog.size(), QSize(946, 554));
    QCOMPARE(dialog.minimumSize(), QSize(946, 554));
    QCOMPARE(dialog.maximumSize(), QSize(946, 554));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(dialog.palette().color(QPalette::Window), QColor(240, 240, 240));

    // The table's places less the frame offset of 8 x 31.
    QCOMPARE(controls.list->geometry(), QRect(433, 77, 490, 358));
    QCOMPARE(controls.stop->geometry(), QRect(369, 486, 202, 47));
    QCOMPARE(controls.start->geometry(), QRect(369, 486, 202, 47));
    QCOMPARE(controls.add->geometry(), QRect(431, 439, 228, 32));
    QCOMPARE(controls.remove->geometry(), QRect(695, 439, 228, 32));
    QCOMPARE(controls.progress->geometry(), controls.start->geometry());
    QCOMPARE(controls.cancel->geometry(), QRect(581, 494, 110, 32));
    QCOMPARE(controls.link->geometry(), QRect(92, 446, 230, 32));

    QCOMPARE(controls.list->viewMode(), QListView::ListMode);
    QCOMPARE(controls.list->flow(), QListView::TopToBottom);
    QVERIFY(controls.list->isWrapping());
    QCOMPARE(controls.list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(controls.start->isDefault());

    // Tab order: start, list, add, delete, stop, link.
    const QList<QWidget*> controlsInTabOrder{controls.start,  controls.list, controls.add,
                                             controls.remove, controls.stop, controls.link};
    QList<QWidget*> chain;
    QWidget* widget = controls.start;
    do {
        if (controlsInTabOrder.contains(widget))
            chain.append(widget);
        widget = widget->nextInFocusChain();
    } while (widget != controls.start);
    QCOMPARE(chain, controlsInTabOrder);
}

void COnduLofrinDlgTest::linkOpensTheDownloadAddress() {
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "OpenUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "OpenUrl");
    Recorder recorder;
    COnduLofrinDlg dialog(nullptr, recorder.Services());
    Controls controls(dialog);
    QVERIFY(controls.link->text().contains(QStringLiteral("/movie.zip</a>")));
    emit controls.link->linkActivated(controls.link->text());
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(openedUrls.size(), 1);
    QCOMPARE(openedUrls[0].path(), QStringLiteral("/movie.zip"));
}

// A Latin-1 name from the command line, and one the file dialog could only
// show with U+FFFD: both are shown so and started with their bytes.
void COnduLofrinDlgTest::namesThatAreNotUtf8ReachTheServiceAsTheirBytes() {
    // Qt cannot remove a name it can only show with U+FFFD, so the folder is
    // not a QTemporaryDir.
    TempDir dir;
    const std::string folder = dir.Path().string();
    const QString shownFolder = QString::fromStdString(folder);
    const std::string chosenBytes = folder + "/caf\xE9.mp4";
    FILE* created = std::fopen(chosenBytes.c_str(), "w");
    QVERIFY(created != nullptr);
    std::fclose(created);
    const std::wstring fromCommandLine = platform::PathFromOsBytes(folder + "/cr\xE8me.mkv");

    Recorder recorder;
    recorder.batches = {{shownFolder + QStringLiteral("/caf\uFFFD.mp4")}};
    COnduLofrinDlg dialog(nullptr, recorder.Services());
    Controls controls(dialog);
    dialog.AddInitialFiles({fromCommandLine});
    controls.add->click();
    QCOMPARE(controls.Items(), QStringList({shownFolder + QStringLiteral("/caf\uFFFD.mp4"),
                                            shownFolder + QStringLiteral("/cr\uFFFDme.mkv")}));
    controls.start->click();
    QTRY_VERIFY(controls.Serving());
    QCOMPARE(recorder.starts.size(), size_t{1});
    QVERIFY(recorder.starts[0] == Paths({platform::PathFromOsBytes(chosenBytes), fromCommandLine}));
}

void COnduLofrinDlgTest::languageFollowsTheLocaleAndFallsBackToTheSourceTexts() {
    const struct {
        QStringList uiLanguages;
        QString spoken;
    } languages[] = {
        {{"zh-Hans-CN", "en-US"}, "zh-Hans-CN"},
        {{"de-DE", "en-GB", "zh-TW"}, "en-GB"},
        {{"fr-FR"}, "en"},
        {{}, "en"},
    };
    for (const auto& row : languages)
        QCOMPARE(WindowLanguage(row.uiLanguages), row.spoken);
    QCOMPARE(TranslationFolders(QStringLiteral("/usr/bin/OnduLofrin")),
             QStringList({"/usr/bin/translations", "/usr/share/ondulofrin/translations"}));

    const QString translations = QStringLiteral(ONDU_TRANSLATIONS_DIR);
    const struct {
        QLocale locale;
        QStringList folders;
        bool translated;
        QString startText;
        QString caption;
    } cases[] = {
        {QLocale(QLocale::German),
         {"/nonexistent", translations},
         true,
         "Start Lofrin Service",
         "OnduLofrin 1.04"},
        {QLocale(QLocale::English), {"/nonexistent"}, false, "开启Lofrin服务", "OnduLofrin 1.04版"},
        {QLocale(QLocale::Chinese, QLocale::China),
         {translations},
         false,
         "开启Lofrin服务",
         "OnduLofrin 1.04版"},
    };
    for (const auto& row : cases) {
        QCOMPARE(InstallWindowTranslation(row.locale, row.folders), row.translated);
        Recorder recorder;
        COnduLofrinDlg dialog(nullptr, recorder.Services());
        const bool found = [&] {
            for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
                if (button->text() == row.startText)
                    return true;
            }
            return false;
        }();
        const QString caption = dialog.windowTitle();
        qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator*>());
        QVERIFY2(found, qPrintable(row.startText));
        QCOMPARE(caption, row.caption);
    }
}

void COnduLofrinDlgTest::droppedFilesAndFoldersAreAddedInOrderExpandedOnce() {
    TempDir dir;
    const auto folder = dir.Path() / "films";
    for (const char* name : {"clip10.mp4", "clip2.MKV", ".hidden.mp4", "notes.txt", "sub/a.ts"})
        Touch(folder / name);
    const auto first = dir.Path() / "first.vrm";
    const auto listed = dir.Path() / "listed.mp4";
    const auto odd = dir.Path() / "odd.txt";  // a file named in the drop is taken as it is
    for (const auto& file : {first, listed, odd})
        Touch(file);

    Recorder recorder;
    COnduLofrinDlg dialog(nullptr, recorder.Services());
    Controls controls(dialog);
    dialog.AddInitialFiles({listed.wstring()});
    QVERIFY(Drop(dialog, controls.list, {first, folder, listed, odd, first}));
    const QString at = QString::fromStdString(dir.Path().string());
    QTRY_COMPARE(controls.Items(),
                 QStringList({at + "/first.vrm", at + "/films/clip2.MKV", at + "/films/clip10.mp4",
                              at + "/films/sub/a.ts", at + "/odd.txt", at + "/listed.mp4"}));

    controls.start->click();  // no drop while serving
    QTRY_VERIFY(controls.Serving());
    QVERIFY(!Drop(dialog, controls.list, {dir.Path() / "late.mp4"}));
    QTest::qWait(50);
    QCOMPARE(controls.Items().size(), 6);
}

void COnduLofrinDlgTest::theListComesBackAfterARestartWithGoneFilesMarked() {
    TempDir dir;
    const std::wstring config = (dir.Path() / "Config.ini").wstring();
    const auto kept = dir.Path() / "kept.mp4";
    const auto gone = dir.Path() / "gone.mkv";
    Touch(kept);
    Touch(gone);
    Recorder recorder;
    DialogServices services = recorder.Services();
    KeepListIn(services, config);
    {
        COnduLofrinDlg dialog(nullptr, services);
        dialog.AddInitialFiles({gone.wstring(), kept.wstring(), L"/v/deleted.ts"});
        Controls controls(dialog);
        controls.list->clearSelection();
        controls.list->item(2)->setSelected(true);
        controls.remove->click();
    }
    std::filesystem::remove(gone);

    COnduLofrinDlg dialog(nullptr, services);
    Controls controls(dialog);
    QCOMPARE(controls.Items(), QStringList({QString::fromStdString(gone.string()),
                                            QString::fromStdString(kept.string())}));
    QTRY_VERIFY(!controls.list->item(0)->toolTip().isEmpty());
    QCOMPARE(controls.list->item(0)->foreground().color(),
             controls.list->palette().color(QPalette::Disabled, QPalette::Text));
    QVERIFY(controls.list->item(1)->toolTip().isEmpty());
    QVERIFY(!controls.list->item(1)->data(Qt::ForegroundRole).isValid());
}

// The real service on loopback in a network of the test's own, and a
// headset of the tool's.
void COnduLofrinDlgTest::statusLineFollowsAHeadsetThatConnectsOpensAndLeaves() {
    const auto media =
        MakeTestMedia("window-status.mp4", {"-f", "lavfi", "-i", "testsrc=s=160x90:d=1:r=25",
                                            "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    QVERIFY(!media.empty());
    EnterPrivateNetwork();
    VideoService service;
    COnduLofrinDlg dialog(nullptr, ServicesFor(service, LoopbackOptions()));
    Controls controls(dialog);
    dialog.AddInitialFiles({media.wstring()});
    controls.start->click();
    QTRY_VERIFY(controls.Serving());
    QVERIFY(controls.Status(dialog).startsWith(QStringLiteral("正在监听 127.0.0.1:23107\n")));
    QTRY_VERIFY(controls.Status(dialog).endsWith(QStringLiteral("尚无VR一体机连接")));

    std::string error;
    auto headset = headset::HeadsetConnection::Open("127.0.0.1", servicePort, 5000, error);
    QVERIFY2(headset, error.c_str());
    QTRY_VERIFY(controls.Status(dialog).contains(QStringLiteral("\n1台VR一体机 · ")));
    QVERIFY(!controls.Status(dialog).contains(QStringLiteral("正在播放")));
    headset::OpenedMedia opened;
    QCOMPARE(headset::OpenMedia(*headset, 0, opened), std::string());
    QTRY_VERIFY(controls.Status(dialog).contains(
        QStringLiteral("1台VR一体机 · 正在播放 window-status.mp4")));
    headset->Close();
    QTRY_VERIFY(controls.Status(dialog).endsWith(QStringLiteral("尚无VR一体机连接")));
    controls.stop->click();
}

// The real service, with a headset whose opening waits on a sleeping disk:
// the stop waits for that read off the window's thread, and meanwhile the
// window says it stops, takes no start and answers its events.
void COnduLofrinDlgTest::aStopThatWaitsForASleepingDiskLeavesTheWindowAnswering() {
    const auto media =
        MakeTestMedia("window-status.mp4", {"-f", "lavfi", "-i", "testsrc=s=160x90:d=1:r=25",
                                            "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    QVERIFY(!media.empty());
    TempDir disk;
    const std::filesystem::path clip = disk.File("clip.mp4");
    std::filesystem::copy_file(media, clip);
    EnterPrivateNetwork();
    VideoService service;
    COnduLofrinDlg dialog(nullptr, ServicesFor(service, LoopbackOptions()));
    Controls controls(dialog);
    dialog.AddInitialFiles({clip.wstring()});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    controls.start->click();
    QTRY_VERIFY(controls.Serving());

    slow_disk::PlaceFolder(disk.Path().string() + "/");
    std::string error;
    auto headset = headset::HeadsetConnection::Open("127.0.0.1", servicePort, 5000, error);
    QVERIFY2(headset, error.c_str());
    slow_disk::PutToSleep();
    QVERIFY(headset->Send(headset::OpenMediaRequest(0), error));
    QTRY_VERIFY(slow_disk::Waiting() > 0);

    // A timer of the window's thread, and the longest it waited for its turn.
    WindowThreadGaps gaps;
    const qint64& longestGap = gaps.longest;

    controls.stop->click();
    QVERIFY(dialog.IsStopping());
    QVERIFY(controls.start->isHidden() && controls.stop->isHidden());
    QVERIFY(!controls.progress->isHidden() && !controls.add->isEnabled());
    QTest::qWait(500);
    dialog.OnStartService();  // the Enter key's start, while it stops
    QVERIFY(dialog.IsStopping() && !dialog.IsStarting());
    QVERIFY(!dialog.WaitForStop(std::chrono::milliseconds(0)));

    slow_disk::Wake();
    QTRY_VERIFY(controls.Idle());
    slow_disk::PlaceFolder("");
    QVERIFY2(longestGap < 100 * kSanitizerSlowdown, std::to_string(longestGap).c_str());
}

// Offered at the first start that serves when the program's path is new; the
// user's refusal, or polkit's, leaves the command to run.
void COnduLofrinDlgTest::aFirewallThatKeepsHeadsetsOutIsOfferedOnceWithTheAnswerTold() {
    const FirewallFinding ufw{Firewall::Ufw, HeadsetAdmission::KeptOut, false};
    const QString opened = QStringLiteral("防火墙（ufw）现在让VR一体机通过端口23107。");
    const QString unchanged = QStringLiteral(
        "防火墙未更改。要让VR一体机通过，请在终端中运行：\nsudo ufw allow 23107/tcp");
    const struct {
        const char* name;
        bool offer;
        std::optional<FirewallFinding> finding;
        bool consent;
        bool letIn;
        int looks, asks, letIns;
        QStringList notices;
    } cases[] = {
        {"granted", true, ufw, true, true, 1, 1, 1, {opened}},
        {"declined", true, ufw, false, true, 1, 1, 0, {unchanged}},
        {"polkit refused", true, ufw, true, false, 1, 1, 1, {unchanged}},
        {"no firewall in the way", true, std::nullopt, true, true, 1, 0, 0, {}},
        {"offered before", false, ufw, true, true, 0, 0, 0, {}},
    };
    for (const auto& c : cases) {
        Recorder recorder;
        DialogServices services = recorder.Services();
        int looks = 0, asks = 0, letIns = 0;
        services.offerFirewall = c.offer;
        services.findFirewall = [&] {
            ++looks;
            return c.finding;
        };
        services.askFirewallConsent = [&](QWidget*, const FirewallFinding&) {
            ++asks;
            return c.consent;
        };
        services.letHeadsetsIn = [&](const FirewallFinding& finding) {
            ++letIns;
            return c.letIn && finding.firewall == Firewall::Ufw;
        };
        COnduLofrinDlg dialog(nullptr, services);
        dialog.AddInitialFiles({L"/v/A.mp4"});
        Controls controls(dialog);
        for (int start = 0; start < 2; ++start) {
            controls.start->click();
            QTRY_VERIFY(controls.Serving());
            QTRY_COMPARE(recorder.notices.size(), c.notices.size());
            controls.stop->click();
            QTRY_VERIFY(controls.Idle());
        }
        QCOMPARE(looks, c.looks);
        QCOMPARE(asks, c.asks);
        QCOMPARE(letIns, c.letIns);
        QStringList texts;
        for (const auto& notice : recorder.notices) {
            texts.append(notice.first);
            QCOMPARE(notice.second, kNotice);
        }
        QVERIFY2(texts == c.notices, c.name);
    }
}

QTEST_MAIN(COnduLofrinDlgTest)
#include "COnduLofrinDlgTest.moc"
