// Progress of an interactive run.
#include "ui/conv_progress_dlg.hpp"

#include "ui/dialog_keys.hpp"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace varnolt::ui {

class CConvProgressDlg::CSink : public IProgressSink {
public:
    explicit CSink(CConvProgressDlg* dialog) : m_pDialog(dialog) {}
    // Both calls only queue: a worker never waits for the UI thread here.
    void FileBegun() override {
        QMetaObject::invokeMethod(
            m_pDialog, [d = m_pDialog] { d->OnFileBegun(); }, Qt::QueuedConnection);
    }
    void RunFinished() override {
        QMetaObject::invokeMethod(
            m_pDialog, [d = m_pDialog] { d->OnRunFinished(); }, Qt::QueuedConnection);
    }

private:
    CConvProgressDlg* m_pDialog;
};

CConvProgressDlg::CConvProgressDlg(CConvController& controller, QWidget* parent)
    : QDialog(parent), m_controller(controller), m_pSink(std::make_unique<CSink>(this)) {
    setObjectName(QStringLiteral("convProgressDlg"));
    setWindowTitle(QStringLiteral("Varnolt"));
    // No close box: the run's end is the only way out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    const int files = controller.m_pFileList != nullptr ? controller.m_pFileList->GetCount() : 0;
    m_nTotal = files + 1;

    m_pLabel = new QLabel(QStringLiteral("Converting ...."), this);
    m_pLabel->setObjectName(QStringLiteral("progressLabel"));
    m_pBar = new QProgressBar(this);
    m_pBar->setObjectName(QStringLiteral("progressBar"));
    m_pBar->setRange(0, m_nTotal);
    m_pBar->setValue(0);
    m_pBar->setTextVisible(false);
    m_pBar->setProperty("errorState", false);
    m_pAbort = new QPushButton(QStringLiteral("Abort"), this);
    m_pAbort->setObjectName(QStringLiteral("abortButton"));
    // Enter must not abort: no button is a default.
    m_pAbort->setAutoDefault(false);
    m_pAbort->setDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(m_pBar, 1);
    row->addWidget(m_pAbort);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pLabel);
    layout->addLayout(row);
    setMinimumWidth(420);

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kRefreshMs);
    connect(m_pTimer, &QTimer::timeout, this, &CConvProgressDlg::OnTimer);
    connect(m_pAbort, &QPushButton::clicked, this, &CConvProgressDlg::OnAbort);
}

CConvProgressDlg::~CConvProgressDlg() {
    // Only reached with a run under way when the dialog is destroyed early
    // (the application is quitting): no further file is begun, and the files
    // in flight finish. Events keep flowing meanwhile, because a worker may
    // be waiting for the UI thread to answer the overwrite question.
    if (m_worker.joinable()) {
        m_bClosing = true;
        CConvController::s_bCancelRequested.store(true);
        while (!m_bRunReturned.load()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        m_worker.join();
    }
    m_controller.m_hProgressWnd = nullptr;
    if (m_bStarted) {
        m_launcher.Off();
    }
}

int CConvProgressDlg::exec() {
    StartRun();
    return QDialog::exec();
}

void CConvProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    StartRun();
}

void CConvProgressDlg::StartRun() {
    if (m_bStarted) {
        return;
    }
    m_bStarted = true;
    m_controller.m_hProgressWnd = m_pSink.get();
    m_pTimer->start();
    m_launcher.SetProgress(0, m_nTotal);
    m_worker = std::thread([this] {
        // Run reports its own end; should it fail instead, the dialog must
        // still learn that the run is over, or it could never close.
        bool finished = false;
        try {
            m_controller.Run();
            finished = true;
        } catch (...) {
        }
        if (!finished) {
            m_pSink->RunFinished();
        }
        m_bRunReturned.store(true);
    });
}

void CConvProgressDlg::OnFileBegun() {
    if (m_bClosing) {
        return;
    }
    ++m_nFilesBegun;
    m_bChanged = true;
}

void CConvProgressDlg::OnTimer() {
    if (m_bChanged) {
        m_bChanged = false;
        m_pBar->setValue(std::min(m_nFilesBegun, m_nTotal));
        m_launcher.SetProgress(m_nFilesBegun, m_nTotal);
    }
}

void CConvProgressDlg::OnAbort() {
    m_pAbort->setEnabled(false);
    // The bar's error state: red, whatever the style draws it with.
    QPalette palette = m_pBar->palette();
    palette.setColor(QPalette::Highlight, QColor(0xC4, 0x2B, 0x1C));
    m_pBar->setPalette(palette);
    m_pBar->setProperty("errorState", true);
    m_pTimer->stop();
    m_launcher.SetError();
    CConvController::s_bCancelRequested.store(true);
}

void CConvProgressDlg::OnRunFinished() {
    if (m_bClosing) {
        return; // the destructor waits for the run itself
    }
    // Run has returned or is about to: wait for the thread itself to end so
    // nothing of the run outlives the dialog.
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_controller.m_hProgressWnd = nullptr;
    m_pTimer->stop();
    m_pBar->setValue(m_nTotal);
    m_launcher.SetProgress(m_nTotal, m_nTotal);
    m_bFinished = true;
    accept();
}

void CConvProgressDlg::accept() {
    if (m_bFinished) {
        QDialog::accept();
    }
}

void CConvProgressDlg::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterAndEscape(event)) {
        QDialog::keyPressEvent(event);
    }
}

void CConvProgressDlg::closeEvent(QCloseEvent* event) {
    if (m_bFinished) {
        QDialog::closeEvent(event);
    } else {
        event->ignore();
    }
}

} // namespace varnolt::ui
