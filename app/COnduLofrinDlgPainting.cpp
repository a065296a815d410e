#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "app/COnduLofrinDlg.h"
#include "app/COnduLofrinDlgLayout.h"

namespace {

constexpr int kFrameInsets[] = {6, 11};

// The picture fills the left 440 of 946 columns from row 20 of 547.
constexpr int kPictureWidthShare = 440;
constexpr int kPictureTopShare = 20;
constexpr int kPictureHeightBase = 547;

constexpr int kInstructionLineHeight = 22;

QRect ClientPlace(const QRect& outerPlace) {
    return outerPlace.translated(-kFrameOffset);
}

}  // namespace

QFont InstructionFont() {
    QFont font;
    font.setFamilies(
        {QStringLiteral("SimHei"), QStringLiteral("黑体"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setWeight(QFont::Medium);
    return font;
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
