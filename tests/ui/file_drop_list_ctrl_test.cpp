// The source file list control: rows in step with the document, drops,
// drag-out removal, the count signal and the icon cache.
#include "app/source_file_list_doc.hpp"
#include "platform/paths.hpp"
#include "support/test_support.hpp"
#include "ui/file_drop_list_ctrl.hpp"

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt::ui {
namespace {

using test::TempDir;
using test::WriteFile;

// What the list shows, row by row: "name|folder".
std::vector<std::string> Rows(const CFileDropListCtrl& list) {
    std::vector<std::string> rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        rows.push_back((item->text(0) + "|" + item->text(1)).toStdString());
    }
    return rows;
}

std::vector<std::string> Paths(const CSourceFileListDoc& doc) {
    std::vector<std::string> paths;
    for (int i = 0; i < doc.GetCount(); ++i) {
        paths.push_back(doc.GetPath(i));
    }
    return paths;
}

std::string Real(const std::string& path) {
    return platform::ResolvePath(path);
}

// Row n must show entry n of the document.
void ExpectInStep(const CFileDropListCtrl& list, const CSourceFileListDoc& doc) {
    ASSERT_EQ(list.topLevelItemCount(), doc.GetCount());
    for (int i = 0; i < doc.GetCount(); ++i) {
        const std::string path = doc.GetPath(i);
        const std::size_t slash = path.rfind('/');
        EXPECT_EQ(list.topLevelItem(i)->text(0).toStdString(), path.substr(slash + 1)) << i;
        EXPECT_EQ(list.topLevelItem(i)->text(1), FolderPart(path)) << i;
    }
}

TEST(FileDropListCtrlTest, InitListSetsHeadersTooltipAndWidths) {
    CSourceFileListDoc doc;
    CFileDropListCtrl list(doc);
    list.resize(600, 300);
    list.InitList();
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));

    EXPECT_EQ(list.headerItem()->text(0), "Name");
    EXPECT_EQ(list.headerItem()->text(1), "In Folder");
    EXPECT_TRUE(list.toolTip().contains("- To add files, please drag-and-drop the files here<br>- "
                                        "To remove files, select the files. Then, drop the files "
                                        "outside the main window"));
    EXPECT_TRUE(list.toolTip().contains("width=\"300\""));
    EXPECT_EQ(list.toolTipDuration(), 12000);
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::ExtendedSelection);

    const int client = list.width() - 2 * list.frameWidth();
    const int name = static_cast<int>(client * 0.3);
    EXPECT_EQ(list.columnWidth(0), name);
    EXPECT_EQ(list.columnWidth(1),
              client - name - list.style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

TEST(FileDropListCtrlTest, AddItemShowsNameAndFolderWithoutTouchingTheDocument) {
    CSourceFileListDoc doc;
    CFileDropListCtrl list(doc);
    EXPECT_EQ(list.AddItem("/data/old docs/Report.TXT"), 0);
    EXPECT_EQ(list.AddItem("/top.html"), 1);
    EXPECT_EQ(list.AddItem("/data/noext"), 2);
    EXPECT_EQ(Rows(list),
              (std::vector<std::string>{"Report.TXT|/data/old docs", "top.html|/", "noext|/data"}));
    EXPECT_EQ(doc.GetCount(), 0);
}

// A folder of every kind of thing a file manager can drop.
class DropFixture : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_dir / "a.txt", "a");
        WriteFile(m_dir / "b.txt", "b");
        ASSERT_EQ(::mkdir((m_dir / "folder").c_str(), 0755), 0);
        WriteFile(m_dir / "folder/c.txt", "c");
        ASSERT_EQ(::symlink("a.txt", (m_dir / "link-to-a").c_str()), 0);
        ASSERT_EQ(::symlink("folder/c.txt", (m_dir / "link-to-c").c_str()), 0);
        ASSERT_EQ(::symlink("folder", (m_dir / "link-to-folder").c_str()), 0);
        ASSERT_EQ(::symlink("missing.txt", (m_dir / "dangling").c_str()), 0);
        ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    }

    TempDir m_dir;
    CSourceFileListDoc m_doc;
    CFileDropListCtrl m_list{m_doc};
};

TEST_F(DropFixture, DropTakesRegularFilesOnceAndResolvesLinks) {
    QSignalSpy counts(&m_list, &CFileDropListCtrl::itemCountChanged);
    const int added = m_list.DropPaths({
        m_dir / "a.txt",
        m_dir / "folder",         // a folder is not searched
        m_dir / "missing.txt",    // does not exist
        m_dir / "link-to-folder", // a folder through a link
        m_dir / "dangling",       // a link to nothing
        m_dir / "fifo",           // never opened, never listed
        m_dir / "a.txt",          // duplicate in the same drop
        m_dir / "link-to-a",      // the same file through a link
        m_dir / "link-to-c",      // a file through a link: its target is listed
        m_dir / "folder/../b.txt",
    });
    EXPECT_EQ(added, 3);
    EXPECT_EQ(Paths(m_doc),
              (std::vector<std::string>{Real(m_dir / "a.txt"), Real(m_dir / "folder/c.txt"),
                                        Real(m_dir / "b.txt")}));
    ExpectInStep(m_list, m_doc);
    // One count for the whole drop.
    ASSERT_EQ(counts.count(), 1);
    EXPECT_EQ(counts.at(0).at(0).toInt(), 3);

    // A later drop of a listed file adds nothing, and the first entry's base
    // folder stays.
    m_doc.RemoveAll();
    m_list.clear();
    ASSERT_EQ(m_doc.AddFile(Real(m_dir / "a.txt"), "/base/"), 0);
    m_list.Refill();
    EXPECT_EQ(m_list.DropPaths({m_dir / "link-to-a", m_dir / "a.txt"}), 0);
    EXPECT_EQ(m_doc.GetCount(), 1);
    EXPECT_EQ(m_doc.GetBaseFolder(0), "/base/");
    ExpectInStep(m_list, m_doc);
}

TEST_F(DropFixture, DesktopLinkToAFileAddsItsTarget) {
    const auto url = [this](const std::string& name) {
        return QUrl::fromLocalFile(QString::fromStdString(m_dir / name)).toEncoded().toStdString();
    };
    WriteFile(m_dir / "b.desktop",
              "[Desktop Entry]\nType=Link\nName=b\nURL=" + url("b.txt") + "\n");
    WriteFile(m_dir / "folder.desktop", "[Desktop Entry]\nType=Link\nURL=" + url("folder") + "\n");
    EXPECT_EQ(m_list.DropPaths({m_dir / "b.desktop", m_dir / "folder.desktop"}), 1);
    EXPECT_EQ(Paths(m_doc), (std::vector<std::string>{Real(m_dir / "b.txt")}));
    ExpectInStep(m_list, m_doc);
}

// A file manager's drag as Qt delivers it: enter, move, drop on the viewport.
// Gives whether the drop was taken and with which action.
std::optional<Qt::DropAction> Drop(CFileDropListCtrl& list, const QList<QUrl>& urls,
                                   Qt::DropActions actions) {
    QMimeData dropped;
    dropped.setUrls(urls);
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, actions, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    QDragMoveEvent move(at, actions, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &move);
    QDropEvent drop(QPointF(at), actions, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &drop);
    EXPECT_EQ(enter.isAccepted(), drop.isAccepted());
    if (!drop.isAccepted()) {
        return std::nullopt;
    }
    return drop.dropAction();
}

TEST_F(DropFixture, FileManagerDropIsTakenAsACopyNeverAsAMove) {
    m_list.resize(300, 200);
    m_list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_list));
    const QList<QUrl> urls{QUrl::fromLocalFile(QString::fromStdString(m_dir / "a.txt")),
                           QUrl("https://example.org/b.txt"),
                           QUrl::fromLocalFile(QString::fromStdString(m_dir / "b.txt"))};

    // Accepting a move would let the file manager delete its originals.
    EXPECT_EQ(Drop(m_list, urls, Qt::MoveAction), std::nullopt);
    EXPECT_EQ(m_doc.GetCount(), 0);

    EXPECT_EQ(Drop(m_list, urls, Qt::CopyAction | Qt::MoveAction), Qt::CopyAction);
    EXPECT_EQ(Drop(m_list, urls, Qt::LinkAction | Qt::MoveAction), Qt::LinkAction);
    EXPECT_EQ(Paths(m_doc),
              (std::vector<std::string>{Real(m_dir / "a.txt"), Real(m_dir / "b.txt")}));
    ExpectInStep(m_list, m_doc);
}

TEST(FileDropListCtrlTest, LocalPathOfUrl) {
    struct Case {
        const char* url;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {"file:///tmp/a%20b.txt", "/tmp/a b.txt"},
        {"file://localhost/tmp/x", "/tmp/x"},
        {"file:///tmp/caf%C3%A9", "/tmp/caf\xC3\xA9"},
        // a name in Latin-1 keeps its byte
        {"file:///tmp/caf%E9", "/tmp/caf\xE9"},
        {"file:///tmp/%2F..", "/tmp//.."},
        {"file://server/share/a.txt", std::nullopt},
        {"https://example.org/a.txt", std::nullopt},
        {"file:///tmp/a%00b", std::nullopt},
        {"file:relative.txt", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LocalPathOfUrl(QUrl::fromEncoded(c.url)), c.path) << c.url;
    }
}

// Five listed files in a main window.
class RemoveFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_window.setGeometry(200, 200, 500, 400);
        m_list = new CFileDropListCtrl(m_doc, &m_window);
        m_list->setGeometry(10, 10, 480, 300);
        for (const char* name : {"0.txt", "1.txt", "2.txt", "3.txt", "4.txt"}) {
            const std::string path = std::string("/docs/") + name;
            ASSERT_NE(m_doc.AddFile(path, std::string("/base") + name[0] + "/"), -1);
        }
        m_list->Refill();
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    void Select(std::initializer_list<int> rows) {
        for (int row : rows) {
            m_list->topLevelItem(row)->setSelected(true);
        }
    }

    CSourceFileListDoc m_doc;
    QWidget m_window;
    CFileDropListCtrl* m_list = nullptr;
};

TEST_F(RemoveFixture, ReleaseInsideTheMainWindowChangesNothing) {
    Select({1, 3});
    const QRect frame = m_window.frameGeometry();
    // Over the list, over the rest of the window, on its very edge.
    for (const QPoint at : {m_list->mapToGlobal(QPoint(20, 20)), frame.bottomRight() - QPoint(5, 5),
                            frame.topLeft()}) {
        EXPECT_EQ(m_list->FinishRowDrag(at), 0);
    }
    EXPECT_EQ(m_doc.GetCount(), 5);
    ExpectInStep(*m_list, m_doc);
}

TEST_F(RemoveFixture, ReleaseOutsideRemovesExactlyTheSelectedRows) {
    QSignalSpy counts(m_list, &CFileDropListCtrl::itemCountChanged);
    Select({1, 3});
    EXPECT_EQ(m_list->FinishRowDrag(m_window.frameGeometry().bottomRight() + QPoint(1, 1)), 2);
    EXPECT_EQ(Paths(m_doc),
              (std::vector<std::string>{"/docs/0.txt", "/docs/2.txt", "/docs/4.txt"}));
    // Each remaining entry keeps its own base folder.
    EXPECT_EQ(m_doc.GetBaseFolder(1), "/base2/");
    EXPECT_EQ(m_doc.GetBaseFolder(2), "/base4/");
    ExpectInStep(*m_list, m_doc);
    ASSERT_EQ(counts.count(), 1);
    EXPECT_EQ(counts.at(0).at(0).toInt(), 3);
}

TEST_F(RemoveFixture, RemoveSelectedEdgeCases) {
    // Nothing selected: nothing removed.
    EXPECT_EQ(m_list->RemoveSelected(), 0);
    EXPECT_EQ(m_doc.GetCount(), 5);

    // First and last rows.
    Select({0, 4});
    EXPECT_EQ(m_list->RemoveSelected(), 2);
    EXPECT_EQ(Paths(m_doc),
              (std::vector<std::string>{"/docs/1.txt", "/docs/2.txt", "/docs/3.txt"}));
    ExpectInStep(*m_list, m_doc);

    // Everything.
    m_list->selectAll();
    EXPECT_EQ(m_list->RemoveSelected(), 3);
    EXPECT_EQ(m_doc.GetCount(), 0);
    EXPECT_EQ(m_list->topLevelItemCount(), 0);
    EXPECT_EQ(m_list->RemoveSelected(), 0);

    // The removed files can be added again.
    EXPECT_EQ(m_list->DropPaths({}), 0);
    ASSERT_EQ(m_doc.AddFile("/docs/0.txt"), 0);
    m_list->AddItem("/docs/0.txt");
    ExpectInStep(*m_list, m_doc);
}

TEST_F(RemoveFixture, RowsOutOfStepAreShownAgainInsteadOfRemovingOtherFiles) {
    // Someone added an entry without its row: removing by row number would
    // now hit the wrong entries.
    ASSERT_NE(m_doc.AddFile("/docs/5.txt"), -1);
    Select({0});
    EXPECT_EQ(m_list->RemoveSelected(), 0);
    EXPECT_EQ(m_doc.GetCount(), 6);
    ExpectInStep(*m_list, m_doc);
}

TEST(FileDropListCtrlTest, RefillShowsTheDocumentAndSignalsTheCount) {
    CSourceFileListDoc doc;
    CFileDropListCtrl list(doc);
    QSignalSpy counts(&list, &CFileDropListCtrl::itemCountChanged);

    list.Refill();
    EXPECT_EQ(list.topLevelItemCount(), 0);
    ASSERT_EQ(counts.count(), 1);
    EXPECT_EQ(counts.at(0).at(0).toInt(), 0);

    // Entries made before the dialog existed (command-line arguments).
    doc.AddFile("/a/x.txt");
    doc.AddFile("/b/y.htm");
    list.AddItem("/stale/row.txt");
    list.Refill();
    ExpectInStep(list, doc);
    EXPECT_EQ(counts.last().at(0).toInt(), 2);

    list.AddItem("/c/z.txt");
    EXPECT_EQ(counts.last().at(0).toInt(), 3);

    list.RemoveAll();
    EXPECT_EQ(doc.GetCount(), 0);
    EXPECT_EQ(list.topLevelItemCount(), 0);
    EXPECT_EQ(counts.last().at(0).toInt(), 0);
}

TEST(FileDropListCtrlTest, IconsAreLookedUpOncePerExtensionExceptExecutables) {
    std::vector<QString> asked;
    CFileDropListCtrl::SetIconSource([&asked](const QString& name) {
        asked.push_back(name);
        return QIcon();
    });
    CSourceFileListDoc doc;
    CFileDropListCtrl list(doc);
    // Extensions no other test uses: the cache lives as long as the process.
    for (const char* path : {"/a/one.vz1", "/b/two.VZ1", "/a/x.vz2", "/a/setup.exe", "/b/run.EXE",
                             "/a/v1.2/readme.vz3", "/c/other.vz3"}) {
        list.AddItem(path);
    }
    CFileDropListCtrl::SetIconSource({});
    EXPECT_EQ(asked,
              (std::vector<QString>{"one.vz1", "x.vz2", "setup.exe", "run.EXE", "readme.vz3"}));
}

} // namespace
} // namespace varnolt::ui
