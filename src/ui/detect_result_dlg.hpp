// The outcome of "Detect": the encodings that decode the selected files,
// best first, with code page, name and confidence; the chosen one goes into
// the main window's source encoding drop-down.
#pragma once

#include "decode/encoding_detector.hpp"

#include <QDialog>
#include <cstdint>
#include <vector>

class QTreeWidget;

namespace varnolt::ui {

class CDetectResultDlg : public QDialog {
    Q_OBJECT

public:
    // `ranking` is not empty; `files` counts the selected files, `unread`
    // those that could not be read and `silent` those that gave no
    // candidate (empty, or decoded by no entry); both are left out of it.
    CDetectResultDlg(const std::vector<DetectionCandidate>& ranking, int files, int unread,
                     int silent, QWidget* parent = nullptr);

    // The code page of the chosen row (the best one unless the user chose
    // another).
    std::int32_t ChosenCodePage() const;

private:
    std::vector<DetectionCandidate> m_ranking;
    QTreeWidget* m_pList = nullptr;
};

} // namespace varnolt::ui
