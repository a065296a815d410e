#include "app/COnduLofrinDlg.h"

#include <QDesktopServices>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <map>
#include <set>

#include "app/WaitCursor.h"
#include "catalogue/FolderExpansion.h"
#include "platform/DirectoryListing.h"
#include "platform/LocalAddresses.h"
#include "platform/PathBytes.h"
#include "platform/ProgramVersion.h"
#include "platform/ShownPath.h"
#include "platform/WideText.h"
#include "protocol/ServiceConstants.h"
#include "service/ListenFailure.h"

namespace {

constexpr int kClientWidth = 946;
constexpr int kClientHeight = 554;

// The controls' places are measured from the outer corner of the window as it
// stood on Windows, caption and border included; this is the client area's
// origin there.
constexpr QPoint kFrameOffset(8, 31);

constexpr QRect kListPlace(441, 108, 490, 358);
constexpr QRect kBigButtonPlace(377, 517, 202, 47);
constexpr QRect kAddPlace(439, 470, 228, 32);
constexpr QRect kDeletePlace(703, 470, 228, 32);
// Beside the big button, as high as the add and delete buttons, centred on
// the big button's height.
constexpr QRect kCancelPlace(589, 525, 110, 32);
// The rest of the row right of the big button, to the list's right edge.
constexpr QRect kStatusPlace(589, 517, 342, 47);
constexpr int kStatusPeriodMs = 1000;

// The link keeps its template rectangle (46, 198, 115 x 14 dialog units),
// converted with the base units of 8 x 18 pixels that map the list's template
// size of 245 x 159 units onto its 490 x 358 pixels.
constexpr QRect kLinkRect(92, 446, 230, 32);

constexpr QColor kBackground(240, 240, 240);
constexpr QColor kFrameLine(205, 221, 227);
constexpr int kFrameInsets[] = {6, 11};

// The picture fills the left 440 of 946 columns from row 20 of 547.
constexpr int kPictureWidthShare = 440;
constexpr int kPictureTopShare = 20;
constexpr int kPictureHeightBase = 547;

constexpr int kInstructionLineHeight = 22;

const char kDownloadAddress[] = "https://example.com/movie.zip";

QString Caption() {
    return COnduLofrinDlg::tr("OnduLofrin %1版").arg(QString::fromLatin1(kCaptionVersion));
}
QString NoticeCaption() {
    return COnduLofrinDlg::tr("提示");
}
QString TooManyVideosText() {
    return COnduLofrinDlg::tr("Lofrin最多添加32个视频！");
}
QString EmptyListText() {
    return COnduLofrinDlg::tr(
        "请在右侧列表中选上需要Lofrin的视频文件vrm、vrw、mp4、mov、mkv、ts等视频文件！");
}

QString StartProgressText(size_t filesRead, size_t filesToRead) {
    return COnduLofrinDlg::tr("正在读取视频 %1/%2").arg(filesRead).arg(filesToRead);
}

QString NoListenerText(const std::string& reason) {
    return COnduLofrinDlg::tr("Lofrin服务未能开启：端口%1无法监听（%2）")
        .arg(servicePort)
        .arg(QString::fromStdString(reason));
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

QFont InstructionFont() {
    QFont font;
    font.setFamilies(
        {QStringLiteral("SimHei"), QStringLiteral("黑体"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setWeight(QFont::Medium);
    return font;
}

QRect ClientPlace(const QRect& outerPlace) {
    return outerPlace.translated(-kFrameOffset);
}

// A listed file keeps its path's bytes beside the text it is shown with, so
// that a name that is not UTF-8 (shown with U+FFFD) still reaches the OS as
// it is.
constexpr int kPathBytesRole = Qt::UserRole;

QListWidgetItem* ListItemFor(const std::wstring& path) {
    auto* item = new QListWidgetItem(QString::fromStdString(platform::WideToUtf8(path)));
    item->setData(kPathBytesRole, QByteArray::fromStdString(platform::PathToOsBytes(path)));
    return item;
}

std::wstring PathOf(const QListWidgetItem& item) {
    const QVariant bytes = item.data(kPathBytesRole);
    if (!bytes.isValid())
        return item.text().toStdWString();
    return platform::PathFromOsBytes(bytes.toByteArray().toStdString());
}

}  // namespace

COnduLofrinDlg::COnduLofrinDlg(QWidget* parent, DialogServices services)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_services(std::move(services)),
      m_hIcon(QStringLiteral(":/OnduLofrin/icon.png")),
      m_pen(kFrameLine, 1),
      m_brush(kBackground),
      m_bmpPicture(QStringLiteral(":/OnduLofrin/picture.png")),
      m_font(InstructionFont()) {
    setWindowTitle(Caption());
    setWindowIcon(m_hIcon);
    QPalette background = palette();
    background.setBrush(QPalette::Window, m_brush);
    setPalette(background);
    setAutoFillBackground(true);

    CreateControls();
    ShowIdleState();
    setFixedSize(kClientWidth, kClientHeight);
    PlaceControls();

    if (m_services.readKeptList) {
        const std::vector<std::wstring> kept = m_services.readKeptList();
        for (auto path = kept.rbegin(); path != kept.rend(); ++path)
            m_list->insertItem(0, ListItemFor(*path));
        SelectFirstWhenNoneSelected();
        LookForGoneFiles(kept);
    }
}

// Created in tab order: start, list, add, delete, stop, link.
void COnduLofrinDlg::CreateControls() {
    m_btnStart = new QPushButton(tr("开启Lofrin服务"), this);
    m_btnStart->setDefault(true);

    m_list = new QListWidget(this);
    m_list->setViewMode(QListView::ListMode);
    m_list->setFlow(QListView::TopToBottom);
    m_list->setWrapping(true);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The selection must stay visible, in the same colours, when the list
    // loses the focus to a button.
    QPalette listPalette = m_list->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        listPalette.setBrush(QPalette::Inactive, role, listPalette.brush(QPalette::Active, role));
    }
    m_list->setPalette(listPalette);
    m_list->setAcceptDrops(true);
    m_list->viewport()->installEventFilter(this);

    m_btnAdd = new QPushButton(tr("添加视频文件"), this);
    m_btnDelete = new QPushButton(tr("删除"), this);
    m_btnStop = new QPushButton(tr("停止Lofrin服务"), this);

    const QString address = QString::fromLatin1(kDownloadAddress);
    m_link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(address), this);
    m_link->setTextFormat(Qt::RichText);
    m_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_link->setFocusPolicy(Qt::TabFocus);
    m_link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_link->setGeometry(kLinkRect);
    m_link->setAutoFillBackground(true);  // on the window's grey, like every control

    m_progress = new QProgressBar(this);
    m_progress->setAlignment(Qt::AlignCenter);
    m_progress->setTextVisible(true);
    m_btnCancel = new QPushButton(tr("取消"), this);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("headsetStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_statusTimer.setInterval(kStatusPeriodMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &COnduLofrinDlg::ShowHeadsetStatus);

    connect(m_btnStart, &QPushButton::clicked, this, &COnduLofrinDlg::OnStartService);
    connect(m_btnCancel, &QPushButton::clicked, this, &COnduLofrinDlg::OnCancelStart);
    connect(m_btnStop, &QPushButton::clicked, this, &COnduLofrinDlg::OnStopService);
    connect(m_btnAdd, &QPushButton::clicked, this, &COnduLofrinDlg::OnAddFiles);
    connect(m_btnDelete, &QPushButton::clicked, this, &COnduLofrinDlg::OnDeleteFiles);
    connect(m_link, &QLabel::linkActivated, this, &COnduLofrinDlg::OnLinkClick);
}

void COnduLofrinDlg::PlaceControls() {
    m_list->setGeometry(ClientPlace(kListPlace));
    m_btnStop->setGeometry(ClientPlace(kBigButtonPlace));
    m_btnStart->setGeometry(ClientPlace(kBigButtonPlace));
    m_btnAdd->setGeometry(ClientPlace(kAddPlace));
    m_btnDelete->setGeometry(ClientPlace(kDeletePlace));
    m_progress->setGeometry(ClientPlace(kBigButtonPlace));
    m_btnCancel->setGeometry(ClientPlace(kCancelPlace));
    m_status->setGeometry(ClientPlace(kStatusPlace));
}

// The start runs on; waiting for it here keeps its thread from outliving
// the window, and the cancel makes the wait short. A stop is waited for too:
// whoever closes the window decides first (WaitForStop) whether to.
COnduLofrinDlg::~COnduLofrinDlg() {
    m_start.reset();
    m_stop.reset();
}

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
    m_statusTimer.start();
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

void COnduLofrinDlg::AddInitialFiles(const std::vector<std::wstring>& paths) {
    AddAsBlockOnTop(paths);
}

// Each path goes to the top, so a batch ends up above the earlier items and
// in reverse order.
void COnduLofrinDlg::InsertAtTop(const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths)
        m_list->insertItem(0, ListItemFor(path));
    SelectFirstWhenNoneSelected();
    KeepList();
}

void COnduLofrinDlg::AddAsBlockOnTop(const std::vector<std::wstring>& paths) {
    const std::vector<std::wstring> listed = ListedPaths();
    std::set<std::wstring> seen(listed.begin(), listed.end());
    std::vector<std::wstring> added;
    for (const std::wstring& path : paths) {
        if (seen.insert(path).second)
            added.push_back(path);
    }
    if (!added.empty())
        InsertAtTop(std::vector<std::wstring>(added.rbegin(), added.rend()));
}

void COnduLofrinDlg::SelectFirstWhenNoneSelected() {
    if (m_list->count() > 0 && m_list->selectedItems().isEmpty()) {
        m_list->item(0)->setSelected(true);
    }
}

std::vector<std::wstring> COnduLofrinDlg::ListedPaths() const {
    std::vector<std::wstring> paths;
    paths.reserve(1000);
    for (int row = 0; row < m_list->count(); ++row) {
        paths.push_back(PathOf(*m_list->item(row)));
    }
    return paths;
}

void COnduLofrinDlg::KeepList() const {
    if (m_services.keepList)
        m_services.keepList(ListedPaths());
}

// The list changes neither while a start reads it nor while it is served.
bool COnduLofrinDlg::AcceptsDrops() const {
    return !IsServing() && !IsStarting() && m_dropExpansion == nullptr;
}

// Folders are walked off the window's thread, as --serve walks them; a
// result that comes once a start has begun is not added.
void COnduLofrinDlg::ExpandDrop(std::vector<std::wstring> paths) {
    m_dropExpansion = std::make_unique<OffThread>(
        this,
        [paths = std::move(paths)] {
            std::vector<std::wstring> files;
            for (ExpandedPath& item : ExpandFolders(paths)) {
                if (item.isFile)
                    files.push_back(std::move(item.path));
            }
            return files;
        },
        [this](std::vector<std::wstring> files) {
            m_dropExpansion.reset();
            if (!IsServing() && !IsStarting())
                AddAsBlockOnTop(files);
        });
}

void COnduLofrinDlg::LookForGoneFiles(std::vector<std::wstring> paths) {
    if (paths.empty() || m_goneFileCheck)
        return;
    m_goneFileCheck = std::make_unique<OffThread>(
        this,
        [paths = std::move(paths)] {
            std::vector<std::wstring> gone;
            for (const std::wstring& path : paths) {
                if (platform::StatusOfPath(path).kind == platform::PathKind::Missing)
                    gone.push_back(path);
            }
            return std::make_pair(std::move(gone), std::move(paths));
        },
        [this](std::pair<std::vector<std::wstring>, std::vector<std::wstring>> found) {
            m_goneFileCheck.reset();
            MarkGone(found.first, found.second);
        });
}

// Of the files looked for, the gone are greyed and the others shown as usual.
void COnduLofrinDlg::MarkGone(const std::vector<std::wstring>& gone,
                              const std::vector<std::wstring>& looked) {
    const std::set<std::wstring> goneSet(gone.begin(), gone.end());
    const std::set<std::wstring> lookedSet(looked.begin(), looked.end());
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem& item = *m_list->item(row);
        const std::wstring path = PathOf(item);
        if (goneSet.contains(path)) {
            item.setForeground(m_list->palette().brush(QPalette::Disabled, QPalette::Text));
            item.setToolTip(tr("找不到此文件"));
        } else if (lookedSet.contains(path)) {
            item.setData(Qt::ForegroundRole, QVariant());
            item.setToolTip(QString());
        }
    }
}

void COnduLofrinDlg::MarkLeftOut(const std::vector<SkippedPath>& skipped) {
    std::map<std::wstring, QString> reasons;
    for (const SkippedPath& left : skipped) {
        if (left.reason.kind != SkipKind::Missing)
            reasons.emplace(left.path, QString::fromStdString(DescribeSkipReason(left.reason)));
    }
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem& item = *m_list->item(row);
        if (item.data(Qt::ForegroundRole).isValid())
            continue;  // gone, and says so
        const auto reason = reasons.find(PathOf(item));
        item.setToolTip(reason != reasons.end() ? tr("未能共享：%1").arg(reason->second)
                                                : QString());
    }
}

std::vector<std::wstring> COnduLofrinDlg::GonePaths() const {
    std::vector<std::wstring> gone;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->data(Qt::ForegroundRole).isValid())
            gone.push_back(PathOf(*m_list->item(row)));
    }
    return gone;
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

void COnduLofrinDlg::OnAddFiles() {
    const QStringList chosen = m_services.chooseFiles(this);
    // The dialog returns names as text; those it could only show with
    // U+FFFD are looked up again for their bytes.
    std::vector<std::wstring> paths;
    for (const QString& name : chosen)
        paths.push_back(platform::FindPathShownAs(name.toStdWString()));
    if (!paths.empty())
        InsertAtTop(paths);
}

void COnduLofrinDlg::OnDeleteFiles() {
    std::vector<int> selectedRows;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->isSelected())
            selectedRows.push_back(row);
    }
    // From the highest row down, so the rows still to go keep their numbers.
    std::sort(selectedRows.rbegin(), selectedRows.rend());
    for (const int row : selectedRows)
        delete m_list->takeItem(row);
    if (!selectedRows.empty())
        KeepList();
}

void COnduLofrinDlg::OnLinkClick() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kDownloadAddress)));
}

namespace {

// The files of a drag from a file manager, as their bytes: a name that is
// not UTF-8 comes percent-encoded in its address.
std::vector<std::wstring> DroppedPaths(const QMimeData& data) {
    std::vector<std::wstring> paths;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            const QByteArray bytes =
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            paths.push_back(platform::PathFromOsBytes(bytes.toStdString()));
        }
    }
    return paths;
}

}  // namespace

bool COnduLofrinDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_list->viewport())
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (AcceptsDrops() && !DroppedPaths(*drag->mimeData()).empty())
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            std::vector<std::wstring> paths = DroppedPaths(*drop->mimeData());
            if (!AcceptsDrops() || paths.empty())
                return true;
            drop->acceptProposedAction();
            ExpandDrop(std::move(paths));
            return true;
        }
        default:
            return QDialog::eventFilter(watched, event);
    }
}

// Coming back to the window, after mounting a disk perhaps: the files shown
// as gone are looked for again.
bool COnduLofrinDlg::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        LookForGoneFiles(GonePaths());
    return QDialog::event(event);
}

void COnduLofrinDlg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    DrawPicture(painter);
    DrawFrames(painter);
    DrawInstructions(painter);
}

void COnduLofrinDlg::DrawPicture(QPainter& painter) const {
    if (m_bmpPicture.isNull())
        return;
    const int y = height() * kPictureTopShare / kPictureHeightBase;
    const int w = width() * kPictureWidthShare / kClientWidth;
    const int h = w * m_bmpPicture.height() / m_bmpPicture.width();
    painter.drawPixmap(QRect(0, y, w, h), m_bmpPicture);
}

void COnduLofrinDlg::DrawFrames(QPainter& painter) const {
    painter.save();
    painter.setPen(m_pen);
    for (const int d : kFrameInsets) {
        const QPoint corners[] = {
            {d, d}, {d, height() - d}, {width() - d, height() - d}, {width() - d, d}, {d, d}};
        painter.drawPolyline(corners, std::size(corners));
    }
    painter.restore();
}

// Two lines in the 44 pixels above the list, from its left edge, unwrapped.
void COnduLofrinDlg::DrawInstructions(QPainter& painter) const {
    const QRect list = m_list->geometry();
    const QRect firstLine(list.left(), list.top() - 2 * kInstructionLineHeight, list.width(),
                          kInstructionLineHeight);
    const QRect secondLine = firstLine.translated(0, kInstructionLineHeight);
    painter.save();
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    painter.drawText(firstLine, Qt::AlignLeft | Qt::AlignTop,
                     tr("选择视频源共享给VR一体机内的“Ondu视频”APP！"));
    painter.drawText(secondLine, Qt::AlignLeft | Qt::AlignTop,
                     tr("*.vrm,*.vrw,*mp4,*mov,*.mkv,*.ts等"));
    painter.restore();
}
