// The program's help: HTML pages shown in one help window, opened at the
// anchor that belongs to a dialog's context number.
#pragma once

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

} // namespace varnolt::ui
