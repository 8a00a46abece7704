#include "views/qt/macro_dialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace zeltrak {

TMacroOptionsDialog::TMacroOptionsDialog(const MacroSettings& settings, std::string macroDirectory, QWidget* parent)
    : QDialog(parent), settings_(settings), macroDirectory_(std::move(macroDirectory)) {
    setWindowTitle(tr(macro_text::kOptionsTitle));
    outputFile_ = new QLineEdit(this);
    outputFile_->setObjectName("outputFile");
    viewer_ = new QLineEdit(this);
    viewer_->setObjectName("viewer");
    overwrite_ = new QRadioButton(tr(macro_text::kOverwrite), this);
    append_ = new QRadioButton(tr(macro_text::kAppend), this);
    auto* choice = new QHBoxLayout;
    choice->addWidget(overwrite_);
    choice->addWidget(append_);
    auto* form = new QFormLayout(this);
    form->addRow(tr(macro_text::kOutputFileLabel), outputFile_);
    form->addRow(tr(macro_text::kViewerLabel), viewer_);
    form->addRow(choice);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* defaults = buttons->addButton(tr(macro_text::kDefaults), QDialogButtonBox::ResetRole);
    defaults->setObjectName("defaults");
    connect(defaults, &QPushButton::clicked, this,
            [this] { Show(DefaultMacroOptions(Result(), macroDirectory_)); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    // An unset output file shows where output goes, so that the user sees and may edit it.
    MacroSettings shown = settings;
    if (shown.outputFilename.empty()) shown.outputFilename = DefaultMacroOutputFile(macroDirectory_);
    Show(shown);
}

void TMacroOptionsDialog::Show(const MacroSettings& settings) {
    outputFile_->setText(QString::fromStdString(settings.outputFilename));
    viewer_->setText(QString::fromStdString(settings.outputViewerProgram));
    (settings.overwrite ? overwrite_ : append_)->setChecked(true);
}

MacroSettings TMacroOptionsDialog::Result() const {
    MacroSettings s = settings_;
    s.outputFilename = outputFile_->text().trimmed().toStdString();
    s.outputViewerProgram = viewer_->text().trimmed().toStdString();
    s.overwrite = overwrite_->isChecked();
    return s;
}

}  // namespace zeltrak
