#pragma once

#include <QBrush>
#include <QDialog>
#include <QElapsedTimer>
#include <QFont>
#include <QIcon>
#include <QPen>
#include <QPixmap>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/BackgroundStart.h"
#include "app/BackgroundStop.h"
#include "app/DialogServices.h"
#include "app/OffThread.h"
#include "service/VideoService.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;

// The program's one window, of fixed size: the picture on the left, the list
// of files to share on the right with two lines of instructions above it,
// the add and delete buttons below it, and one big button that starts or
// stops the service. Which of the start and stop buttons is shown is the
// window's state: idle or serving; in between, while a start reads the
// titles on a thread of its own, a progress bar and a cancel button stand in
// the big button's place. While it serves, a status line beside the big
// button tells where it listens and what the headsets do. A stop, too, runs
// off the window's thread: while it waits for the service's reads, a busy bar
// says so in the big button's place. Files and folders
// dropped on the list are added to it; the list is kept between runs, its
// files that cannot be found greyed.
class COnduLofrinDlg : public QDialog {
    Q_OBJECT

public:
    COnduLofrinDlg(QWidget* parent, DialogServices services);

    // Lists files named when the program was started, the first on top,
    // above the kept ones; a file listed already is not listed again.
    void AddInitialFiles(const std::vector<std::wstring>& paths);

    ~COnduLofrinDlg() override;

    // Serving, or starting, or stopping (each runs off the window's thread).
    bool IsServing() const;
    bool IsStarting() const { return m_start != nullptr; }
    bool IsStopping() const { return m_stop != nullptr; }

    // Waits at most `limit` for a stop under way; false when it is still
    // waiting, for a read that may never return.
    bool WaitForStop(std::chrono::milliseconds limit);

    // Closing the window while it serves stops the service as the stop
    // button does.
    void done(int result) override;

public slots:
    void OnStartService();
    void OnStopService();
    void OnCancelStart();
    void OnAddFiles();
    void OnDeleteFiles();
    void OnLinkClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    // Drops on the list.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void PlaceControls();
    void ShowIdleState();
    void ShowStartingState();
    void ShowServingState();
    void ShowStoppingState();
    void ShowStartProgress(size_t filesRead, size_t filesToRead);
    void OnStartFinished(const StartReport& report);
    void InsertAtTop(const std::vector<std::wstring>& paths);
    // Puts those of `paths` not listed yet on top, in their order.
    void AddAsBlockOnTop(const std::vector<std::wstring>& paths);
    void SelectFirstWhenNoneSelected();
    void ListKeptFiles();
    std::vector<std::wstring> ListedPaths() const;
    void KeepList() const;
    bool AcceptsDrops() const;
    void ExpandDrop(std::vector<std::wstring> paths);
    // Greys the listed files among `paths` that cannot be found, off the
    // window's thread.
    void LookForGoneFiles(std::vector<std::wstring> paths);
    void MarkGone(const std::vector<std::wstring>& gone, const std::vector<std::wstring>& looked);
    // Each listed file the start left out says why; the others say nothing
    // but whether they are gone.
    void MarkLeftOut(const std::vector<SkippedPath>& skipped);
    std::vector<std::wstring> GonePaths() const;
    void ShowHeadsetStatus();
    void OfferFirewallOpening();

    void DrawPicture(QPainter& painter) const;
    void DrawFrames(QPainter& painter) const;
    void DrawInstructions(QPainter& painter) const;

    DialogServices m_services;

    QIcon m_hIcon;
    QPen m_pen;
    QBrush m_brush;
    QPixmap m_bmpPicture;
    QFont m_font;
    QListWidget* m_list = nullptr;
    QPushButton* m_btnStop = nullptr;
    QPushButton* m_btnStart = nullptr;
    QPushButton* m_btnAdd = nullptr;
    QPushButton* m_btnDelete = nullptr;
    QLabel* m_link = nullptr;
    // In the big button's place while a start reads the titles.
    QProgressBar* m_progress = nullptr;
    QPushButton* m_btnCancel = nullptr;
    std::unique_ptr<BackgroundStart> m_start;
    std::unique_ptr<BackgroundStop> m_stop;
    // Beside the big button while serving; refreshed every second.
    QLabel* m_status = nullptr;
    QTimer m_statusTimer;
    QString m_listening;
    uint64_t m_bytesSentBefore = 0;
    QElapsedTimer m_sinceBytesSent;
    double m_megabitsPerSecond = 0;
    // A dropped folder being walked, and files being looked for.
    std::unique_ptr<OffThread> m_dropExpansion;
    std::unique_ptr<OffThread> m_goneFileCheck;
    // Polkit asking for the password that lets headsets in.
    std::unique_ptr<OffThread> m_firewallOpening;
};
