#pragma once
#include <QDialog>
#include <string>

#include "automation/macro_settings.h"

class QLineEdit;
class QRadioButton;

namespace zeltrak {

namespace macro_text {
inline constexpr const char* kTitleFormat = "Macro - [%s]";
inline constexpr const char* kUntitledTitle = "Macro Processor - [Untitled]";
inline constexpr const char* kUntitled = "[Untitled]";
inline constexpr const char* kMenu = "&Macro Processor";
inline constexpr const char* kStatusKey = "Macro";
inline constexpr const char* kRun = "Run";
inline constexpr const char* kStop = "Stop";
inline constexpr const char* kViewOutput = "View Output...";
inline constexpr const char* kCloseWhileRunning = "A Macro is currently running.  Are you sure you want to close it?";
inline constexpr const char* kChangedFormat = "Macro file \"%s\" has changed. Save file before closing?";
inline constexpr const char* kMacroFilter = "Macro command files (*.mac)|*.mac|";
inline constexpr const char* kOpenTitle = "Open Macro Command File";
inline constexpr const char* kSaveTitle = "Save Macro Command File";
inline constexpr const char* kOpening = "Opening File...";
inline constexpr const char* kSaving = "Saving File...";
inline constexpr const char* kSaveFailedFormat = "The macro file %s could not be written.";
inline constexpr const char* kOutputTitle = "Open Macro output File";
inline constexpr const char* kOutputFilter = "Macro output files (*.txt)|*.txt|";
inline constexpr const char* kViewerFailedFormat = "The output viewer %s could not be started.";
inline constexpr const char* kOptionsTitle = "Macro Options";
inline constexpr const char* kOutputFileLabel = "Output file:";
inline constexpr const char* kViewerLabel = "Output viewer program:";
inline constexpr const char* kOverwrite = "Overwrite";
inline constexpr const char* kAppend = "Append";
inline constexpr const char* kDefaults = "Defaults";
inline constexpr const char* kHelpTitle = "Macro Commands";
inline constexpr const char* kHelpText =
    "One command a line; a line beginning with ; is a comment.\n\n"
    "Send command\tcarries out an automation command, e.g. Send [Run]\n"
    "Output item\twrites an item's value to the output file, e.g. Output FFT Count\n"
    "OutputComment text\twrites the text to the output file\n"
    "SetOutputFile name\tsends further output to another file\n"
    "WaitSeconds s\twaits s seconds (fractions allowed)\n"
    "WaitClock hhmm\twaits until the clock reads hhmm\n"
    "WaitTopOfHour\twaits until the next full hour\n"
    "WaitDate MM/DD/YYYY\twaits until that day begins\n"
    "Loop n ... LoopEnd\trepeats the lines between n times\n"
    "Label name\tmarks a place to jump to\n"
    "GoTo name\tjumps to the label; Return comes back to the next line\n"
    "MacroEnd\tends the macro\n\n"
    "AutoDateTime in Send, OutputComment and SetOutputFile becomes the date and time "
    "(YYYY_MM_DD_hhmmss).";
}  // namespace macro_text

// The macro options: output file, output viewer and whether a run empties the output file.
class TMacroOptionsDialog : public QDialog {
public:
    TMacroOptionsDialog(const MacroSettings& settings, std::string macroDirectory, QWidget* parent = nullptr);
    // The settings with the fields as they stand.
    MacroSettings Result() const;
    void Show(const MacroSettings& settings);

private:
    MacroSettings settings_;
    std::string macroDirectory_;
    QLineEdit* outputFile_ = nullptr;
    QLineEdit* viewer_ = nullptr;
    QRadioButton* overwrite_ = nullptr;
    QRadioButton* append_ = nullptr;
};

}  // namespace zeltrak
