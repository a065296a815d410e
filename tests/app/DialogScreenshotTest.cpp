#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include "app/COnduLofrinDlg.h"

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
};

void DialogScreenshotTest::idleWindowLooksAsDesigned() {
    VideoService service;
    COnduLofrinDlg dialog(nullptr, ServicesFor(service));
    dialog.AddInitialFiles({L"/home/ondu/视频/海边日落.mp4", L"/home/ondu/视频/雪山.mkv",
                            L"/home/ondu/Ondu助手/大片/星际旅行.vrm"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QImage shot = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);

    const QString path = QStringLiteral(ONDU_SCREENSHOT_PATH);
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
    // Nothing dark above them, right of the picture.
    QCOMPARE(DarkPixels(shot, QRect(441, list.top() - 60, list.right() - 441, 12)), 0);
}

// A start held at the third of 32 titles until it is cancelled: the progress
// bar with its text stands in the big button's place, the cancel button
// beside it.
void DialogScreenshotTest::startingWindowShowsHowFarItHasCome() {
    VideoService service;
    DialogServices services = ServicesFor(service);
    services.startVideoService = [](const std::vector<std::wstring>&, MessageBoxOwner*,
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
        if (button->text() == QStringLiteral("开启Lofrin服务"))
            start = button;
    }
    QVERIFY(start != nullptr);
    start->click();
    auto* progress = dialog.findChild<QProgressBar*>();
    QTRY_COMPARE(progress->text(), QStringLiteral("正在读取视频 3/32"));
    const QImage shot = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(
        shot.save(QStringLiteral(ONDU_SCREENSHOT_PATH).replace(".png", "-starting.png"), "PNG"));

    QVERIFY2(DarkPixels(shot, kBigButtonArea) > 100, "no progress text in the button's place");
    QVERIFY2(DarkPixels(shot, kCancelArea) > 20, "no cancel button beside it");
    QCOMPARE(At(shot, 700, 6), kFrameLine);
    dialog.reject();
}

QTEST_MAIN(DialogScreenshotTest)
#include "DialogScreenshotTest.moc"
