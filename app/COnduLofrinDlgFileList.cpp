#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <map>
#include <set>

#include "app/COnduLofrinDlg.h"
#include "catalogue/FolderExpansion.h"
#include "platform/DirectoryListing.h"
#include "platform/PathBytes.h"
#include "platform/ShownPath.h"
#include "platform/WideText.h"

namespace {

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

// The list the last run kept, its files that cannot be found greyed.
void COnduLofrinDlg::ListKeptFiles() {
    if (!m_services.readKeptList)
        return;
    const std::vector<std::wstring> kept = m_services.readKeptList();
    for (auto path = kept.rbegin(); path != kept.rend(); ++path)
        m_list->insertItem(0, ListItemFor(*path));
    SelectFirstWhenNoneSelected();
    LookForGoneFiles(kept);
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
