// The help window and the one table that maps context numbers to pages.
#include "ui/help_viewer.hpp"

#include "ui/task_dialog.hpp"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QListWidget>
#include <QPointer>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>
#include <QUrl>

namespace varnolt::ui {

namespace {

// Each anchor is the id of the heading that starts the topic.
constexpr HelpTopic kTopics[] = {
    {kHelpDefault, "index.html", ""},
    {kHelpOutputOptions, "output-options.html", "output-options"},
    {kHelpFindFiles, "find-files.html", "find-files"},
    {kHelpCodec, "codec.html", "codec"},
    {kHelpPreferencesGeneral, "preferences.html", "html-comments"},
    {kHelpPreferencesHtml, "preferences.html", "file-types"},
};

constexpr const char* kPages[] = {
    "index.html",        "main-window.html",    "output-options.html",
    "command-line.html", "find-files.html",     "preferences.html",
    "codec.html",        "conversion-log.html", "troubleshooting.html",
};

// Fits a 1366 x 768 screen with room to spare.
constexpr int kWindowWidth = 860;
constexpr int kWindowHeight = 600;

QPointer<CHelpWindow>& HelpWindowInstance() {
    static QPointer<CHelpWindow> window;
    return window;
}

QString PageTitle(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QFileInfo(path).fileName();
    }
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    const QString title = document.metaInformation(QTextDocument::DocumentTitle).trimmed();
    return title.isEmpty() ? QFileInfo(path).fileName() : title;
}

} // namespace

std::span<const HelpTopic> HelpTopics() {
    return kTopics;
}

const HelpTopic& FindHelpTopic(int context) {
    for (const HelpTopic& topic : kTopics) {
        if (topic.nContext == context) {
            return topic;
        }
    }
    return kTopics[0];
}

std::span<const char* const> HelpPages() {
    return kPages;
}

QString HelpFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/varnolt/help"));
}

CHelpWindow::CHelpWindow(const QString& folder, QWidget* owner)
    : QMainWindow(owner ? owner->window() : nullptr, Qt::Window), m_strFolder(folder) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Varnolt Help"));

    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setObjectName(QStringLiteral("helpBrowser"));
    m_pBrowser->setOpenExternalLinks(true);
    m_pBrowser->setSearchPaths({folder});

    m_pContents = new QListWidget(this);
    m_pContents->setObjectName(QStringLiteral("helpContents"));
    FillContents();

    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_pContents);
    splitter->addWidget(m_pBrowser);
    splitter->setStretchFactor(1, 1);
    // The contents as wide as its longest title, the page the rest.
    const int contentsWidth = m_pContents->sizeHintForColumn(0) + 2 * m_pContents->frameWidth() +
                              m_pContents->fontMetrics().averageCharWidth() * 2;
    splitter->setSizes({contentsWidth, kWindowWidth - contentsWidth});
    setCentralWidget(splitter);

    QToolBar* bar = addToolBar(QStringLiteral("Navigation"));
    bar->setObjectName(QStringLiteral("helpToolBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack),
                                   QStringLiteral("&Back"), m_pBrowser, &QTextBrowser::backward);
    back->setObjectName(QStringLiteral("helpBackAction"));
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    QAction* forward =
        bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Forward"),
                       m_pBrowser, &QTextBrowser::forward);
    forward->setObjectName(QStringLiteral("helpForwardAction"));
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    QAction* home =
        bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("&Home"), this,
                       [this] { ShowTopic(FindHelpTopic(kHelpDefault)); });
    home->setObjectName(QStringLiteral("helpHomeAction"));
    connect(m_pBrowser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_pBrowser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(m_pBrowser, &QTextBrowser::sourceChanged, this,
            [this](const QUrl& source) { SelectContentsOf(source); });
    connect(m_pContents, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        m_pBrowser->setSource(PageUrl(item->data(Qt::UserRole).toByteArray().constData(), ""));
    });
    connect(m_pContents, &QListWidget::itemClicked, m_pContents, &QListWidget::itemActivated);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    resize(kWindowWidth, kWindowHeight);
    if (owner != nullptr) {
        owner->window()->installEventFilter(this);
    }
}

QUrl CHelpWindow::PageUrl(const char* page, const char* anchor) const {
    QUrl url = QUrl::fromLocalFile(m_strFolder + QLatin1Char('/') + QString::fromLatin1(page));
    if (anchor != nullptr && *anchor != '\0') {
        url.setFragment(QString::fromLatin1(anchor));
    }
    return url;
}

void CHelpWindow::FillContents() {
    for (const char* page : kPages) {
        auto* item = new QListWidgetItem(
            PageTitle(m_strFolder + QLatin1Char('/') + QString::fromLatin1(page)), m_pContents);
        item->setData(Qt::UserRole, QByteArray(page));
    }
}

void CHelpWindow::SelectContentsOf(const QUrl& source) {
    const QString page = QFileInfo(source.toLocalFile()).fileName();
    for (int i = 0; i < m_pContents->count(); ++i) {
        QListWidgetItem* item = m_pContents->item(i);
        if (item->data(Qt::UserRole).toByteArray() == page.toLatin1()) {
            m_pContents->setCurrentItem(item);
            return;
        }
    }
    m_pContents->clearSelection();
}

void CHelpWindow::ShowTopic(const HelpTopic& topic) {
    // Without an anchor the browser shows the top of the page, also when the
    // page is already shown and was scrolled.
    m_pBrowser->setSource(PageUrl(topic.pszPage, topic.pszAnchor));
}

void CHelpWindow::AttachTo(QWidget* owner) {
    QWidget* top = owner != nullptr ? owner->window() : nullptr;
    if (top == this || parentWidget() == top) {
        return;
    }
    if (QWidget* old = parentWidget()) {
        old->removeEventFilter(this);
    }
    const bool wasShown = isVisible();
    const QRect frame = geometry();
    setParent(top, windowFlags());
    if (top != nullptr) {
        top->installEventFilter(this);
    }
    if (wasShown) {
        setGeometry(frame);
        show();
    }
}

bool CHelpWindow::eventFilter(QObject* watched, QEvent* event) {
    // A dialog that has ended is hidden by the program (not by the window
    // system, as when minimised) and deleted soon after; the help window
    // outlives it under that dialog's own owner. A top-level owner (the main
    // window) keeps it until the program ends.
    if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous()) {
        if (QWidget* next = parentWidget()->parentWidget()) {
            AttachTo(next);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

CHelpWindow* ExistingHelpWindow() {
    return HelpWindowInstance().data();
}

void ShowHelpTopicIn(const QString& folder, int context, QWidget* parent) {
    const HelpTopic& topic = FindHelpTopic(context);
    if (!QFileInfo(folder + QLatin1Char('/') + QString::fromLatin1(topic.pszPage)).isFile()) {
        CTaskDialog dialog(parent);
        dialog.SetIcon(TaskDialogIcon::Error);
        dialog.SetMainInstruction(QStringLiteral("The help pages cannot be found."));
        dialog.SetContent(QStringLiteral("Varnolt looked for them in the folder \"%1\".")
                              .arg(QDir::toNativeSeparators(folder)));
        dialog.AddButton(1, QStringLiteral("OK"), true, true);
        dialog.DoModal();
        return;
    }
    QPointer<CHelpWindow>& window = HelpWindowInstance();
    if (window != nullptr && window->Folder() != folder) {
        delete window.data();
    }
    if (window == nullptr) {
        window = new CHelpWindow(folder, parent);
    } else {
        window->AttachTo(parent);
    }
    window->ShowTopic(topic);
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void ShowHelpTopic(int context, QWidget* parent) {
    ShowHelpTopicIn(HelpFolder(), context, parent);
}

} // namespace varnolt::ui
