#include "app/COnduLofrinDlg.h"

#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include "app/COnduLofrinDlgLayout.h"
#include "platform/ProgramVersion.h"

// The window's parts live beside this file: COnduLofrinDlgPainting.cpp (the
// controls' places and what is drawn), COnduLofrinDlgFileList.cpp (the list,
// its drops and its kept files), COnduLofrinDlgStartStop.cpp (the start,
// the stop and the status while serving), COnduLofrinDlgNotices.cpp (the
// message boxes' texts).

namespace {

const char kDownloadAddress[] = "https://example.com/movie.zip";

QString Caption() {
    return COnduLofrinDlg::tr("OnduLofrin %1版").arg(QString::fromLatin1(kCaptionVersion));
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

    ListKeptFiles();
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
    connect(&m_statusTimer, &QTimer::timeout, this, &COnduLofrinDlg::ShowHeadsetStatus);

    connect(m_btnStart, &QPushButton::clicked, this, &COnduLofrinDlg::OnStartService);
    connect(m_btnCancel, &QPushButton::clicked, this, &COnduLofrinDlg::OnCancelStart);
    connect(m_btnStop, &QPushButton::clicked, this, &COnduLofrinDlg::OnStopService);
    connect(m_btnAdd, &QPushButton::clicked, this, &COnduLofrinDlg::OnAddFiles);
    connect(m_btnDelete, &QPushButton::clicked, this, &COnduLofrinDlg::OnDeleteFiles);
    connect(m_link, &QLabel::linkActivated, this, &COnduLofrinDlg::OnLinkClick);
}

// The start runs on; waiting for it here keeps its thread from outliving
// the window, and the cancel makes the wait short. A stop is waited for too:
// whoever closes the window decides first (WaitForStop) whether to.
COnduLofrinDlg::~COnduLofrinDlg() {
    m_start.reset();
    m_stop.reset();
}

void COnduLofrinDlg::OnLinkClick() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kDownloadAddress)));
}
