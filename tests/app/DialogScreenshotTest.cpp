#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include "app/COnduLofrinDlg.h"
#include "app/FirewallConsentBox.h"
#include "app/WindowTranslation.h"

#ifndef ONDU_SCREENSHOT_PATH
#error "ONDU_SCREENSHOT_PATH must name where the screenshot is saved"
#endif

namespace {

const QColor kBackground(240, 240, 240);
const QColor kFrameLine(205, 221, 227);
const QRect kPictureArea(0, 20, 440, 489);
// Controls that stand over the picture.
const QRect kLinkArea(92, 446, 230, 32);
const QRect kBigButtonArea(369, 486, 202, 47);
const QRect kCancelArea(581, 494, 110, 32);

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// The window's words in the language of the locale the test runs in.
QString Text(const char* source) {
    return QCoreApplication::translate("COnduLofrinDlg", source);
}

bool IsEnglish() {
    return !WindowLanguage(QLocale::system().uiLanguages()).startsWith(QStringLiteral("zh"));
}

// main-window.png for Chinese, main-window-en.png for English.
QString ShotPath(const QString& suffix = {}) {
    QString path = QStringLiteral(ONDU_SCREENSHOT_PATH);
    return path.replace(".png",
                        (IsEnglish() ? QStringLiteral("-en") : QString()) + suffix + ".png");
}

int DarkPixels(const QImage& image, const QRect& area) {
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 80)
                ++dark;
        }
    }
    return dark;
}

}  // namespace

class DialogScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void idleWindowLooksAsDesigned();
    void startingWindowShowsHowFarItHasCome();
    void servingWindowShowsTheHeadsets();
    void firewallNoticeOffersToLetHeadsetsIn();
};

void DialogScreenshotTest::idleWindowLooksAsDesigned() {
    VideoService service;
    COnduLofrinDlg dialog(nullptr, ServicesFor(service));
    dialog.AddInitialFiles({L"/home/ondu/视频/海边日落.mp4", L"/home/ondu/视频/雪山.mkv",
                            L"/home/ondu/Ondu助手/大片/星际旅行.vrm"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QImage shot = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);

    const QString path = ShotPath();
    QDir().mkpath(QFileInfo(path).path());
    QVERIFY(shot.save(path, "PNG"));

    QCOMPARE(shot.size(), QSize(946, 554));
    QCOMPARE(At(shot, 600, 25), kBackground);
    QCOMPARE(At(shot, 930, 520), kBackground);

    // Frame lines 6 and 11 pixels in from every edge, background between.
    for (const int d : {6, 11}) {
        QCOMPARE(At(shot, 700, d), kFrameLine);
        QCOMPARE(At(shot, 700, 554 - d), kFrameLine);
        QCOMPARE(At(shot, 946 - d, 300), kFrameLine);
        QCOMPARE(At(shot, d, 15), kFrameLine);
    }
    QCOMPARE(At(shot, 700, 8), kBackground);
    QCOMPARE(At(shot, 943, 300), kBackground);

    // The picture, unscaled, fills exactly its area.
    const QImage picture =
        QImage(QStringLiteral(":/OnduLofrin/picture.png")).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(picture.size(), kPictureArea.size());
    for (int y = 0; y < picture.height(); y += 37) {
        for (int x = 20; x < picture.width(); x += 41) {
            const QPoint point(x, kPictureArea.top() + y);
            if (kLinkArea.contains(point) || kBigButtonArea.contains(point))
                continue;
            QCOMPARE(At(shot, x, kPictureArea.top() + y), picture.pixelColor(x, y));
        }
    }
    QCOMPARE(At(shot, 200, 20), picture.pixelColor(200, 0));
    QCOMPARE(At(shot, 200, 508), picture.pixelColor(200, 488));
    QCOMPARE(At(shot, 439, 30),
             picture.pixelColor(439, 10));  // the list covers x 433 and on from y 77
    QCOMPARE(At(shot, 200, 19), kBackground);
    QCOMPARE(At(shot, 200, 509), kBackground);
    QCOMPARE(At(shot, 440, 30), kBackground);

    // The instruction lines in the 44 pixels above the list.
    const QRect list = dialog.findChild<QListWidget*>()->geometry();
    const QRect firstLine(list.left(), list.top() - 44, list.width(), 22);
    QVERIFY2(DarkPixels(shot, firstLine) > 100, "first instruction line missing");
    QVERIFY2(DarkPixels(shot, firstLine.translated(0, 22)) > 50, "second instruction line missing");
    // Nothing dark above them, right of the picture, and neither runs into
    // the list's right edge, where a longer line would be cut.
    QCOMPARE(DarkPixels(shot, QRect(441, list.top() - 60, list.right() - 441, 12)), 0);
    QCOMPARE(DarkPixels(shot, QRect(list.right() - 12, list.top() - 44, 13, 44)), 0);

    // Every control in the locale's language, each text whole in its place.
    // The stop and cancel buttons are hidden; their texts are measured too.
    for (const char* source :
         {"开启Lofrin服务", "添加视频文件", "删除", "停止Lofrin服务", "取消"}) {
        QPushButton* button = nullptr;
        for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
            if (candidate->text() == Text(source))
                button = candidate;
        }
        QVERIFY2(button != nullptr, source);
        QCOMPARE(button->text() != QString::fromUtf8(source), IsEnglish());
        QVERIFY2(button->sizeHint().width() <= button->width(), source);
    }
    QCOMPARE(dialog.windowTitle(),
             IsEnglish() ? QStringLiteral("OnduLofrin 1.04") : QStringLiteral("OnduLofrin 1.04版"));
    const auto* link = dialog.findChild<QLabel*>();
    QVERIFY(link->sizeHint().width() <= link->width());
}

// A start held at the third of 32 titles until it is cancelled: the progress
// bar with its text stands in the big button's place, the cancel button
// beside it.
void DialogScreenshotTest::startingWindowShowsHowFarItHasCome() {
    VideoService service;
    DialogServices services = ServicesFor(service);
    services.startVideoService = [](const std::vector<std::wstring>&,
                                    const CatalogueBuildOptions& build) {
        build.onProgress(3, 32);
        while (!build.cancel->load())
            QThread::msleep(5);
        StartReport report;
        report.cancelled = true;
        return report;
    };
    COnduLofrinDlg dialog(nullptr, services);
    dialog.AddInitialFiles({L"/home/ondu/视频/海边日落.mp4"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QPushButton* start = nullptr;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == Text("开启Lofrin服务"))
            start = button;
    }
    QVERIFY(start != nullptr);
    start->click();
    auto* progress = dialog.findChild<QProgressBar*>();
    QTRY_COMPARE(progress->text(), Text("正在读取视频 %1/%2").arg(3).arg(32));
    const QImage shot = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(shot.save(ShotPath(QStringLiteral("-starting")), "PNG"));
    QVERIFY(progress->fontMetrics().horizontalAdvance(progress->text()) < progress->width() - 8);

    QVERIFY2(DarkPixels(shot, kBigButtonArea) > 100, "no progress text in the button's place");
    QVERIFY2(DarkPixels(shot, kCancelArea) > 20, "no cancel button beside it");
    QCOMPARE(At(shot, 700, 6), kFrameLine);
    dialog.reject();
}

// Two headsets, one title: the status line beside the stop button, whole.
void DialogScreenshotTest::servingWindowShowsTheHeadsets() {
    VideoService service;
    DialogServices services = ServicesFor(service);
    services.startVideoService = [](const std::vector<std::wstring>&,
                                    const CatalogueBuildOptions&) {
        StartReport report;
        report.addresses.push_back({{192, 168, 1, 5}, EndpointOutcome{true, {}}, std::nullopt});
        report.workerStarted = true;
        return report;
    };
    services.stopVideoService = [] {};
    // 38 Mbit/s, whenever the window looks.
    QElapsedTimer clock;
    clock.start();
    services.viewHeadsets = [&clock] {
        return HeadsetView{2, {"雪山.mkv"}, static_cast<uint64_t>(clock.elapsed()) * 4750};
    };
    COnduLofrinDlg dialog(nullptr, services);
    dialog.AddInitialFiles({L"/home/ondu/视频/雪山.mkv"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.OnStartService();
    QTRY_VERIFY(dialog.IsServing());
    auto* status = dialog.findChild<QLabel*>(QStringLiteral("headsetStatus"));
    // The rate comes with the first look a period after the start.
    QTRY_VERIFY(status->text().endsWith(QStringLiteral(" 38 Mbit/s")));
    const QImage shot = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(shot.save(ShotPath(QStringLiteral("-serving")), "PNG"));

    const QStringList rows = status->text().split(QLatin1Char('\n'));
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[0].endsWith(QStringLiteral("192.168.1.5:23107")), qPrintable(rows[0]));
    QVERIFY2(rows[1].contains(QStringLiteral("雪山.mkv · ")), qPrintable(rows[1]));
    QVERIFY2(!status->text().contains(QChar(0x2026)), "the status line is cut");
    QVERIFY2(DarkPixels(shot, status->geometry()) > 100, "no status line");
    dialog.reject();
}

// The question of a firewall that keeps headsets out, over the window as the
// user meets it: its text and both buttons whole, in the
// locale's language.
void DialogScreenshotTest::firewallNoticeOffersToLetHeadsetsIn() {
    VideoService service;
    COnduLofrinDlg dialog(nullptr, ServicesFor(service));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const auto box = FirewallConsentBox(&dialog, {Firewall::Ufw, HeadsetAdmission::KeptOut, true});
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    const QString expected = Text(
                                 "防火墙（%1）挡住了VR一体机：它们能看到这台电脑，却连不上端口%2。"
                                 "\n要让VR一体机通过防火墙吗？")
                                 .arg(QStringLiteral("ufw"))
                                 .arg(23107);
    QCOMPARE(box->text(), expected);
    QCOMPARE(box->text().startsWith(QStringLiteral("The firewall (ufw)")), IsEnglish());
    QCOMPARE(box->buttons().size(), 2);
    for (const char* source : {"让VR一体机通过", "暂不"}) {
        QPushButton* button = nullptr;
        for (QAbstractButton* candidate : box->buttons()) {
            if (candidate->text() == Text(source))
                button = qobject_cast<QPushButton*>(candidate);
        }
        QVERIFY2(button != nullptr, source);
        QVERIFY2(button->sizeHint().width() <= button->width(), source);
    }
    // Enter leaves the firewall as it is.
    QCOMPARE(box->defaultButton()->text(), Text("暂不"));

    QImage shot = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage question = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY2(DarkPixels(question, question.rect()) > 200, "no text in the question");
    QPainter painter(&shot);
    painter.drawImage((shot.width() - question.width()) / 2,
                      (shot.height() - question.height()) / 2, question);
    painter.end();
    QVERIFY(shot.save(ShotPath(QStringLiteral("-firewall")), "PNG"));
    box->close();
}

// The window speaks the language of the locale it is started in, as the
// program's does.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    InstallWindowTranslation(QLocale::system(), {QStringLiteral(ONDU_TRANSLATIONS_DIR)});
    DialogScreenshotTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "DialogScreenshotTest.moc"
