#pragma once
#include <QString>
#include <string>

#include "engine/wave_file_commands.h"

class QWidget;

namespace zeltrak {

// "Description (*.ext)|*.ext|…" filters as the file dialogs of Qt want them:
// "Description (*.ext);;…". The patterns after each bar are already in the descriptions.
QString QtFileFilter(const std::string& filter);

// `name` with the extension of the chosen filter ("Wave Files (*.wav)" gives ".wav") when the
// user typed a file name without any extension; a name with one, or a filter naming no single
// extension ("*.*"), leaves it as typed.
QString WithFilterExtension(const QString& name, const QString& selectedFilter);

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
