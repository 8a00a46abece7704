#pragma once
#include <QDialog>
#include <QString>

namespace zeltrak {

// The program's version as the build set it ("major.minor.patch").
const char* ProgramVersion();

// Help > About: the program title, its version and the Qt version it runs on.
QString AboutText();

// Help > User Guide: a short read-only guide to the modes, running, the cursor keys and files.
// Not modal, so that it can stay open beside the views while the user follows it.
class TUserGuideDialog : public QDialog {
public:
    explicit TUserGuideDialog(QWidget* parent = nullptr);
};

}  // namespace zeltrak
