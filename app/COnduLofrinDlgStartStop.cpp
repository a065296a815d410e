#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "app/COnduLofrinDlg.h"
#include "app/COnduLofrinDlgNotices.h"
#include "app/WaitCursor.h"
#include "platform/LocalAddresses.h"
#include "protocol/ServiceConstants.h"
#include "service/ListenFailure.h"

namespace {

constexpr int kStatusPeriodMs = 1000;

QString StartProgressText(size_t filesRead, size_t filesToRead) {
    return COnduLofrinDlg::tr("正在读取视频 %1/%2").arg(filesRead).arg(filesToRead);
}

// "192.168.1.5:23107, 10.0.0.2:23107": the addresses that listen.
QString ListeningAddresses(const StartReport& report) {
    QStringList addresses;
    for (const AddressReport& address : report.addresses) {
        if (address.listener && address.listener->opened) {
            addresses.append(
                QStringLiteral("%1:%2")
                    .arg(QString::fromStdString(platform::FormatIpv4Address(address.address)))
                    .arg(servicePort));
        }
    }
    return addresses.join(QStringLiteral(", "));
}

// "2 headsets · playing 雪山.mkv · 38 Mbit/s"
QString HeadsetsText(const HeadsetView& view, double megabitsPerSecond) {
    if (view.headsets == 0)
        return COnduLofrinDlg::tr("尚无VR一体机连接");
    QStringList parts{COnduLofrinDlg::tr("%n台VR一体机", nullptr, static_cast<int>(view.headsets))};
    if (!view.titlesPlaying.empty()) {
        QStringList titles;
        for (const std::string& title : view.titlesPlaying)
            titles.append(QString::fromStdString(title));
        parts.append(COnduLofrinDlg::tr("正在播放 %1").arg(titles.join(QStringLiteral(", "))));
    }
    const int decimals = megabitsPerSecond < 9.95 ? 1 : 0;
    parts.append(QStringLiteral("%1 Mbit/s").arg(megabitsPerSecond, 0, 'f', decimals));
    return parts.join(QStringLiteral(" · "));
}

}  // namespace

bool COnduLofrinDlg::WaitForStop(std::chrono::milliseconds limit) {
    return m_stop == nullptr || m_stop->WaitFor(limit);
}

void COnduLofrinDlg::done(int result) {
    OnStopService();
    QDialog::done(result);
}

bool COnduLofrinDlg::IsServing() const {
    return m_btnStart->isHidden();
}

void COnduLofrinDlg::ShowIdleState() {
    m_statusTimer.stop();
    m_status->hide();
    m_progress->hide();
    m_btnCancel->hide();
    m_btnStop->hide();
    m_btnStart->show();
    m_btnAdd->setEnabled(true);
    m_btnDelete->setEnabled(true);
}

// The list keeps what the start was given until the start is over.
void COnduLofrinDlg::ShowStartingState() {
    m_btnStart->hide();
    m_progress->setRange(0, 0);
    m_progress->setFormat(tr("正在读取视频"));
    m_progress->show();
    m_btnCancel->setEnabled(true);
    m_btnCancel->show();
    m_btnAdd->setEnabled(false);
    m_btnDelete->setEnabled(false);
}

// Nothing can be started or changed until the service's threads are done.
void COnduLofrinDlg::ShowStoppingState() {
    m_statusTimer.stop();
    m_status->hide();
    m_btnStop->hide();
    m_btnStart->hide();
    m_btnCancel->hide();
    m_progress->setRange(0, 0);
    m_progress->setFormat(tr("正在停止Lofrin服务"));
    m_progress->show();
    m_btnAdd->setEnabled(false);
    m_btnDelete->setEnabled(false);
}

void COnduLofrinDlg::ShowServingState() {
    m_progress->hide();
    m_btnCancel->hide();
    m_btnStop->show();
    m_btnStart->hide();
    m_btnAdd->setEnabled(false);
    m_btnDelete->setEnabled(false);
    m_bytesSentBefore = m_services.viewHeadsets ? m_services.viewHeadsets().bytesSent : 0;
    m_sinceBytesSent.start();
    m_megabitsPerSecond = 0;
    ShowHeadsetStatus();
    m_status->show();
    m_statusTimer.start(kStatusPeriodMs);
}

// Two rows, each cut with an ellipsis rather than wrapped: where the service
// listens, then what the headsets do, with the rate since the last look. A
// look sooner than half a period after the one before keeps the rate it had:
// over a few milliseconds it would say nothing.
void COnduLofrinDlg::ShowHeadsetStatus() {
    const HeadsetView view = m_services.viewHeadsets ? m_services.viewHeadsets() : HeadsetView{};
    if (const qint64 elapsedMs = m_sinceBytesSent.elapsed(); elapsedMs >= kStatusPeriodMs / 2) {
        const double megabits = static_cast<double>(view.bytesSent - m_bytesSentBefore) * 8 / 1e6;
        m_megabitsPerSecond = megabits * 1000 / static_cast<double>(elapsedMs);
        m_bytesSentBefore = view.bytesSent;
        m_sinceBytesSent.restart();
    }
    const QFontMetrics metrics = m_status->fontMetrics();
    const auto fitted = [&](const QString& row) {
        return metrics.elidedText(row, Qt::ElideRight, m_status->width());
    };
    m_status->setText(fitted(tr("正在监听 %1").arg(m_listening)) + QLatin1Char('\n') +
                      fitted(HeadsetsText(view, m_megabitsPerSecond)));
}

void COnduLofrinDlg::ShowStartProgress(size_t filesRead, size_t filesToRead) {
    m_progress->setRange(0, static_cast<int>(filesToRead));
    m_progress->setValue(static_cast<int>(filesRead));
    m_progress->setFormat(StartProgressText(filesRead, filesToRead));
}

void COnduLofrinDlg::OnStartService() {
    // The Enter key still sends the start command while the start button is
    // hidden; the service must not be started twice, nor before it stopped.
    if (IsServing() || IsStarting() || IsStopping())
        return;
    const std::vector<std::wstring> paths = ListedPaths();
    if (paths.empty()) {
        m_services.showNotice(this, EmptyListText(), NoticeCaption());
        return;
    }
    ShowStartingState();
    m_start = std::make_unique<BackgroundStart>(
        this, m_services.startVideoService, paths,
        [this](size_t filesRead, size_t filesToRead) { ShowStartProgress(filesRead, filesToRead); },
        [this](const StartReport& report) { OnStartFinished(report); });
}

void COnduLofrinDlg::OnCancelStart() {
    if (m_start) {
        m_start->Cancel();
        m_btnCancel->setEnabled(false);
    }
}

void COnduLofrinDlg::OnStartFinished(const StartReport& report) {
    m_start.reset();
    if (report.cancelled) {
        ShowIdleState();
        m_btnStart->setFocus();
        return;
    }
    // A service no headset can reach is not shown as serving.
    if (const auto reason = WhyNothingListens(report)) {
        {
            const WaitCursor busy;
            m_services.stopVideoService();
        }
        ShowIdleState();
        m_services.showNotice(this, NoListenerText(*reason), NoticeCaption());
        return;
    }
    m_listening = ListeningAddresses(report);
    MarkLeftOut(report.skipped);
    ShowServingState();
    if (LeftOutBeyondTitleLimit(report))
        m_services.showNotice(this, TooManyVideosText(), NoticeCaption());
    OfferFirewallOpening();
}

// The stop waits for the service's threads, and a read of a disk that spins
// up, or of a share that stopped answering, may hold one of them for long.
void COnduLofrinDlg::OnStopService() {
    // Only what serves stops: neither a start under way nor a stop.
    if (m_btnStop->isHidden())
        return;
    ShowStoppingState();
    m_stop = std::make_unique<BackgroundStop>(this, m_services.stopVideoService, [this] {
        m_stop.reset();
        ShowIdleState();
        m_btnStart->setFocus();
    });
}
