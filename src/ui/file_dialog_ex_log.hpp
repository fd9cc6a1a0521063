// The save dialog of the conversion log, with "Append to the file".
#pragma once

#include "ui/file_dialog_ex.hpp"

namespace varnolt::ui {

class CFileDialogExLog : public CFileDialogEx {
    Q_OBJECT

public:
    static constexpr const char* kClientId = "{9167D9F2-F717-4283-BC44-D2D54BE36904}";

    // `initialPath` may be empty; `append` is the check box's first state.
    CFileDialogExLog(CAppSettings& settings, const QString& initialPath, bool append,
                     QWidget* parent = nullptr);
};

} // namespace varnolt::ui
