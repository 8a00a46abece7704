#pragma once
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "engine/wave_file_commands.h"

class QLineEdit;
class QWidget;

namespace zeltrak {

// "Description (*.ext)|*.ext|…" filters as the file dialogs of Qt want them:
// "Description (*.ext);;…". The patterns after each bar are already in the descriptions.
QString QtFileFilter(const std::string& filter);

// `name` with the extension of the chosen filter ("Wave Files (*.wav)" gives ".wav") when the
// user typed a file name without any extension; a name with one, or a filter naming no single
// extension ("*.*"), leaves it as typed.
QString WithFilterExtension(const QString& name, const QString& selectedFilter);

// Asks the user for an existing file: (title, Qt filter, folder to start in); nothing when the
// user cancels. The dialogs take the Qt one; tests put a scripted one in its place.
using TFileBrowser =
    std::function<std::optional<QString>(const QString& title, const QString& filter, const QString& startFolder)>;

// The Qt open-file dialog as a TFileBrowser.
TFileBrowser QtOpenFileBrowser(QWidget* parent);

// The folder a Browse dialog starts in: the current entry's; empty (the working folder) for no entry.
QString BrowseStartFolder(const QString& entry);

// `edit` with a "Browse…" button beside it, named after the edit with "Browse" appended. The
// button asks `browse` for a file, starting in the entry's folder, and puts the choice in the edit.
QWidget* WithBrowseButton(QLineEdit* edit, const QString& title, const QString& filter, TFileBrowser browse);

// The file commands' dialogs on Qt: file choosers and the wrong-calibration question.
class TQtWaveFileChooser : public TWaveFileChooser {
public:
    explicit TQtWaveFileChooser(QWidget* parent) : parent_(parent) {}
    std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& filter) override;
    std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& filter,
                                              const std::string& current) override;
    CalibrationChoice AskWrongCalibration(const std::string& text) override;

private:
    QWidget* parent_;
};

}  // namespace zeltrak
