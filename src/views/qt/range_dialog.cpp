#include "views/qt/range_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace zeltrak {

namespace {

QLineEdit* NumberField(const char* name, double value, QWidget* parent) {
    auto* field = new QLineEdit(QString::number(value, 'g', 6), parent);
    field->setObjectName(name);
    return field;
}

QWidget* Pair(QLineEdit* from, QLineEdit* to, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QObject::tr("From"), box));
    row->addWidget(from);
    row->addWidget(new QLabel(QObject::tr("To"), box));
    row->addWidget(to);
    return box;
}

}  // namespace

TRangeDialog::TRangeDialog(const TUserRange& shown, bool automaticValues, const TRangeLimits& limits, QWidget* parent)
    : QDialog(parent), limits_(limits), range_(shown) {
    setWindowTitle(tr("Set Range"));
    const TAxisSpan values = shown.values.value_or(TAxisSpan{});
    xFrom_ = NumberField("xFrom", shown.x.lo, this);
    xTo_ = NumberField("xTo", shown.x.hi, this);
    valueFrom_ = NumberField("valueFrom", values.lo, this);
    valueTo_ = NumberField("valueTo", values.hi, this);
    automatic_ = new QCheckBox(tr("Automatic"), this);
    automatic_->setChecked(automaticValues);
    error_ = new QLabel(this);
    error_->setStyleSheet("color: red");
    error_->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(tr("X (%1)").arg(QString::fromStdString(limits.unit)), Pair(xFrom_, xTo_, this));
    form->addRow(tr("Values"), Pair(valueFrom_, valueTo_, this));
    form->addRow(QString(), automatic_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TRangeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TRangeDialog::reject);
    connect(automatic_, &QCheckBox::toggled, this, [this](bool on) {
        valueFrom_->setEnabled(!on);
        valueTo_->setEnabled(!on);
    });
    valueFrom_->setEnabled(!automaticValues);
    valueTo_->setEnabled(!automaticValues);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addWidget(buttons);
}

QString TRangeDialog::Error() const { return error_->text(); }

TRangeEntry TRangeDialog::Entry() const {
    return TRangeEntry{xFrom_->text().toStdString(), xTo_->text().toStdString(), valueFrom_->text().toStdString(),
                       valueTo_->text().toStdString(), automatic_->isChecked()};
}

void TRangeDialog::accept() {
    const TRangeCheck check = CheckRangeEntry(Entry(), limits_);
    error_->setText(QString::fromStdString(check.error));
    if (!check.range) return;
    range_ = *check.range;
    QDialog::accept();
}

}  // namespace zeltrak
