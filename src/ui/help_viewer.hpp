// The program's help: HTML pages shown in one help window, opened at the
// anchor that belongs to a dialog's context number.
#pragma once

#include <QMainWindow>
#include <QString>
#include <span>

class QListWidget;
class QTextBrowser;
class QUrl;
class QWidget;

namespace varnolt::ui {

// Context numbers of the help topics; 0 is the default topic.
inline constexpr int kHelpDefault = 0;
inline constexpr int kHelpOutputOptions = 1060;
inline constexpr int kHelpFindFiles = 1090;
inline constexpr int kHelpCodec = 1100;
inline constexpr int kHelpPreferencesGeneral = 1130;
inline constexpr int kHelpPreferencesHtml = 1140;

// Shows the help window at the topic of `context` (the default topic for an
// unknown number), creating it on first use.
void ShowHelpTopic(int context, QWidget* parent = nullptr);

// Where a context number leads: a page of the help folder and an anchor in
// it (empty: the top of the page).
struct HelpTopic {
    int nContext;
    const char* pszPage;
    const char* pszAnchor;
};

// Every context number's topic, the default topic first.
std::span<const HelpTopic> HelpTopics();
// The topic of `context`; the default topic for a number that has none.
const HelpTopic& FindHelpTopic(int context);
// The pages in the order of the contents list.
std::span<const char* const> HelpPages();

// The folder the pages are read from: share/varnolt/help beside the bin
// folder of the running program. An installed program finds its installed
// pages; the build copies them to the same place below the build folder.
QString HelpFolder();

// ShowHelpTopic with the pages of `folder`. When the topic's page is not
// there, a message names the folder looked in and no window opens.
void ShowHelpTopicIn(const QString& folder, int context, QWidget* parent);

// The help window: the pages in a browser with back, forward and home, and
// the contents beside them. It is a child window of whichever window asked
// for help last, since a modal dialog blocks every window that is not its
// own; when that window is hidden for good (a dialog that has ended) the
// help window moves to that window's owner instead of being deleted with it.
class CHelpWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit CHelpWindow(const QString& folder, QWidget* owner = nullptr);

    // Loads the topic's page at its anchor (the top of the page without one).
    void ShowTopic(const HelpTopic& topic);
    void AttachTo(QWidget* owner);

    QTextBrowser* Browser() const { return m_pBrowser; }
    QString Folder() const { return m_strFolder; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QUrl PageUrl(const char* page, const char* anchor) const;
    void FillContents();
    void SelectContentsOf(const QUrl& source);

    QString m_strFolder;
    QTextBrowser* m_pBrowser = nullptr;
    QListWidget* m_pContents = nullptr;
};

// The help window once ShowHelpTopic has made it; null before, and after
// the window it belonged to was destroyed.
CHelpWindow* ExistingHelpWindow();

} // namespace varnolt::ui
