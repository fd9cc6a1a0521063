// The overwrite question of an interactive run, asked from any worker and
// shown on the UI thread through the program's task dialog.
#pragma once

#include "output/overwrite_question.hpp"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace varnolt::ui {

class COverwriteQuestionDlg : public IOverwriteQuestion {
public:
    // `owner` (may be null) owns the dialog; the object itself must be made
    // on the UI thread and outlive the run.
    explicit COverwriteQuestionDlg(QWidget* owner = nullptr);

    // The core calls this under its one question lock, so one dialog is
    // shown at a time; only the asking worker waits for the answer.
    OverwriteAnswer AskOverwrite(std::string_view message) override;

    // Button ids of the question.
    static constexpr int kIdOverwrite = 6000;
    static constexpr int kIdDontOverwrite = 6001;

private:
    OverwriteAnswer AskOnUiThread(const QString& message);

    QObject m_context; // lives on the UI thread: the target of the worker's call
    QPointer<QWidget> m_pOwner;
};

} // namespace varnolt::ui
