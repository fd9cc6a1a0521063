// The dialog that frames an interactive run: starts the controller's Run on
// a worker thread, shows how many files have begun, lets the user abort, and
// closes itself only when the run has finished.
#pragma once

#include "convert/conv_controller.hpp"
#include "ui/launcher_progress.hpp"

#include <QDialog>
#include <atomic>
#include <memory>
#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace varnolt::ui {

class CConvProgressDlg : public QDialog {
    Q_OBJECT

public:
    // The controller must outlive the dialog; its m_hProgressWnd is pointed
    // at this dialog while the run lasts.
    explicit CConvProgressDlg(CConvController& controller, QWidget* parent = nullptr);
    ~CConvProgressDlg() override;

    // Starts the run and returns when it has finished (always Accepted).
    int exec() override;

    int FilesBegun() const { return m_nFilesBegun; }
    int Total() const { return m_nTotal; }
    bool IsRunning() const { return m_worker.joinable(); }

    // Refresh period of the bar: however fast files begin, the screen is
    // redrawn at most this often.
    static constexpr int kRefreshMs = 100;

    // Where the dock entry's progress goes; the session bus by default.
    // Set before the run starts.
    void SetLauncherProgress(const CLauncherProgress& launcher) { m_launcher = launcher; }

public slots:
    // Escape and the close box must not end a run that is still converting.
    void reject() override {}
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Runs on the worker threads: turns each call into a queued call on the
    // UI thread, so the counter is touched only there.
    class CSink;

    void StartRun();
    void OnFileBegun();
    void OnRunFinished();
    void OnTimer();
    void OnAbort();

    CConvController& m_controller;
    std::unique_ptr<CSink> m_pSink;
    std::thread m_worker;
    QLabel* m_pLabel;
    QProgressBar* m_pBar;
    QPushButton* m_pAbort;
    QTimer* m_pTimer;
    CLauncherProgress m_launcher;
    int m_nFilesBegun = 0;
    int m_nTotal;
    bool m_bChanged = false;
    bool m_bStarted = false;
    bool m_bFinished = false;
    bool m_bClosing = false;                 // destroyed while the run goes on
    std::atomic<bool> m_bRunReturned{false}; // set by the worker as it ends
};

} // namespace varnolt::ui
