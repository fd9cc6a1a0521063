// The save dialog of a configuration profile, with a check box that asks
// for a desktop launcher.
#pragma once

#include "ui/file_dialog_ex.hpp"

namespace varnolt::ui {

class CFileDialogExCfgProfile : public CFileDialogEx {
    Q_OBJECT

public:
    static constexpr const char* kClientId = "{D6EF1150-AA23-4A8D-B510-C6C0A1E18F26}";

    // The check box starts unchecked.
    explicit CFileDialogExCfgProfile(CAppSettings& settings, QWidget* parent = nullptr);
};

} // namespace varnolt::ui
