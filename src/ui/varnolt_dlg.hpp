// The main window of the interactive program: conversion and output options,
// the source file list, and the commands that start a run, open and save
// profiles and open the other windows.
#pragma once

#include "decode/encoding_preview.hpp"
#include "settings/profile.hpp"

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QUrl;

namespace varnolt {
class CAppSettings;
class CConvController;
class CSourceFileListDoc;
} // namespace varnolt

namespace varnolt::ui {

class CCodecDlg;
class CFileDropListCtrl;
class CFindFileDlg;

class CVarnoltDlg : public QDialog {
    Q_OBJECT

public:
    // `profilePath` non-empty: the profile named on the command line, read
    // into the controls instead of the stored options. Rows are shown for
    // the files already in `sourceFiles`.
    CVarnoltDlg(CAppSettings& settings, CSourceFileListDoc& sourceFiles,
                const std::string& profilePath, QWidget* parent = nullptr);
    ~CVarnoltDlg() override;

    // The commands, public so that menus, buttons and tests share them.
    void OnAddFiles();
    void OnRemoveFiles();
    void OnBrowseFolder();
    void OnConvert();
    void OnOpenConfiguration();
    void OnSaveConfiguration();
    void OnAbout();
    // Shows the codec tool, created on first use and kept until this window goes.
    void OnUnicodeCodec();
    // Shows the "Search Files" window, made on first use and kept, with
    // its fields and results, until this window is destroyed.
    void OnSearchFiles();
    CFindFileDlg* FindFileDialog() const { return m_pFindDlg.get(); }
    // Ranks the encodings of the selected files on a worker thread, then
    // offers them; the chosen one goes into the source encoding drop-down.
    void OnDetect();

    // What reads a file's preview and what detects a file's encoding; both
    // run on a worker thread. Tests put others in their place.
    using PreviewReader =
        std::function<FilePreview(const std::string& path, std::int32_t codePage)>;
    using Detector = std::function<FileDetection(const std::string& path)>;
    void SetPreviewReader(PreviewReader reader);
    void SetDetector(Detector detector);

    // Adds files to the source list and, for those it accepts, rows.
    void AddFiles(const QStringList& paths);

    // The checks shared by Convert (message mode: an error box, false) and
    // Save (question mode: true when the user chooses Continue). Stops at
    // the first failure.
    bool ValidateOptions(bool questionMode);

    // The options as the controls hold them; the output folder as typed.
    ProfileOptions CurrentOptions() const;
    bool IsProfileLoaded() const { return m_bProfileLoaded; }
    // The "Create Shortcut on Desktop" choice of the last saved profile.
    bool IsShortcutRequested() const { return m_bShortcutRequested; }
    // Reads a profile into the controls; false (and message 3011) on failure.
    bool LoadProfile(const std::string& path);
    // Opens addresses (the feedback mail) in the desktop's program for them;
    // QDesktopServices::openUrl unless a test puts another in its place.
    void SetUrlOpener(std::function<bool(const QUrl&)> opener);

protected:
    // Drives a run with the options already checked: by default the
    // progress dialog followed by the result dialog.
    virtual void RunConversion(CConvController& controller);

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void LoadFromSettings();
    void SaveToSettings();
    void ApplyValues(const ProfileDialogValues& values);
    void SetOutputOption(int option);
    int OutputOption() const;
    void UpdateMetaEnable();
    void UpdateItemCount();
    void ShowError(const QString& text);
    void ShowHelp(int context);
    // The preview pane follows the selected row and the source encoding;
    // files are read off the UI thread and only the latest answer is shown.
    void UpdatePreview();
    void StartPreviewRead();
    int PreviewRow() const;
    void ShowPreview(std::uint64_t serial, const std::string& path, const FilePreview& result);
    void ShowDetection(const std::vector<FileDetection>& results);
    void UpdateDetectEnable();
    std::int32_t SelectedCodePage() const;

    CAppSettings& m_settings;
    CSourceFileListDoc& m_sourceFiles;
    std::function<bool(const QUrl&)> m_fnOpenUrl;
    bool m_bProfileLoaded = false;
    bool m_bClosed = false;
    bool m_bShortcutRequested = false;
    // An out-of-range stored option selects no radio button; it stays
    // here until the user picks one, and validation refuses it.
    int m_nOutputOption = -1;

    QComboBox* m_pEncodingCombo = nullptr;
    QComboBox* m_pFormatCombo = nullptr;
    QCheckBox* m_pMetaCheck = nullptr;
    QCheckBox* m_pEntityCheck = nullptr;
    QCheckBox* m_pBomCheck = nullptr;
    QButtonGroup* m_pOutputGroup = nullptr;
    QRadioButton* m_pRadios[3] = {};
    QLineEdit* m_pEdits[3] = {};
    QPushButton* m_pBrowseButton = nullptr;
    QLabel* m_pOutputHelp = nullptr;
    CFileDropListCtrl* m_pFileList = nullptr;
    QPushButton* m_pDetectButton = nullptr;
    QLabel* m_pPreviewNote = nullptr;
    QPlainTextEdit* m_pPreview = nullptr;
    QTimer* m_pPreviewTimer = nullptr;
    PreviewReader m_fnReadPreview;
    Detector m_fnDetect;
    std::uint64_t m_nPreviewSerial = 0;
    bool m_bDetecting = false;
    // Carries workers' answers into the UI thread while this window lives.
    struct CWorkerChannel;
    std::shared_ptr<CWorkerChannel> m_pChannel;
    QLabel* m_pItemCount = nullptr;
    // Off at every start: converting a file the guards refused is a choice
    // for one run, never a stored default.
    QAction* m_pForceAction = nullptr;
    CCodecDlg* m_pCodecDlg = nullptr; // a child: destroyed with this window
    // Destroyed before the controls it adds rows to.
    std::unique_ptr<CFindFileDlg> m_pFindDlg;
};

} // namespace varnolt::ui
