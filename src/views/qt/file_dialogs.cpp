#include "views/qt/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "base/strings.h"

namespace zeltrak {

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList entries;
    // Pairs of (description, pattern); the description already names the pattern.
    for (int i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].isEmpty()) entries << parts[i];
    return entries.join(";;");
}

QString WithFilterExtension(const QString& name, const QString& selectedFilter) {
    if (name.isEmpty() || QFileInfo(name).fileName().contains('.')) return name;
    static const QRegularExpression pattern(R"(\*(\.[A-Za-z0-9]+)\b)");
    const QRegularExpressionMatch m = pattern.match(selectedFilter);
    return m.hasMatch() ? name + m.captured(1) : name;
}

TFileBrowser QtOpenFileBrowser(QWidget* parent) {
    return [parent](const QString& title, const QString& filter, const QString& startFolder) -> std::optional<QString> {
        const QString name = QFileDialog::getOpenFileName(parent, title, startFolder, filter);
        if (name.isEmpty()) return std::nullopt;
        return name;
    };
}

QString BrowseStartFolder(const QString& entry) {
    return entry.isEmpty() ? QString() : QFileInfo(entry).absolutePath();
}

QWidget* WithBrowseButton(QLineEdit* edit, const QString& title, const QString& filter, TFileBrowser browse) {
    auto* row = new QWidget(edit->parentWidget());
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    // Room for a folder and a file name, not just the file name.
    edit->setMinimumWidth(40 * edit->fontMetrics().averageCharWidth());
    auto* button = new QPushButton(QObject::tr("Browse\u2026"), row);
    button->setObjectName(edit->objectName() + "Browse");
    layout->addWidget(edit);
    layout->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, edit, [edit, title, filter, browse = std::move(browse)] {
        const std::optional<QString> chosen = browse(title, filter, BrowseStartFolder(edit->text()));
        if (chosen) edit->setText(*chosen);
    });
    return row;
}

std::optional<std::string> TQtWaveFileChooser::ChooseOpenFile(const std::string& title, const std::string& filter) {
    const QString name =
        QFileDialog::getOpenFileName(parent_, QString::fromStdString(title), QString(), QtFileFilter(filter));
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

std::optional<std::string> TQtWaveFileChooser::ChooseSaveFile(const std::string& title, const std::string& filter,
                                                              const std::string& current) {
    QString chosenFilter;
    const QString name = QFileDialog::getSaveFileName(parent_, QString::fromStdString(title),
                                                      QString::fromStdString(current), QtFileFilter(filter),
                                                      &chosenFilter);
    if (name.isEmpty()) return std::nullopt;
    return WithFilterExtension(name, chosenFilter).toStdString();
}

CalibrationChoice TQtWaveFileChooser::AskWrongCalibration(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kProgramTitle), QString::fromStdString(text),
                    QMessageBox::NoButton, parent_);
    QPushButton* keep = box.addButton(QObject::tr("Continue with the current calibration file"),
                                      QMessageBox::AcceptRole);
    QPushButton* other = box.addButton(QObject::tr("Select a different calibration file"), QMessageBox::ActionRole);
    QPushButton* disable =
        box.addButton(QObject::tr("Disable calibration and revert to default scaling"), QMessageBox::DestructiveRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() == other) return CalibrationChoice::SelectOther;
    if (box.clickedButton() == disable) return CalibrationChoice::Disable;
    return CalibrationChoice::KeepCurrent;
}

}  // namespace zeltrak
