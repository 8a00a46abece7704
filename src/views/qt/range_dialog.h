#pragma once
#include <QDialog>

#include "views/view_range.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace zeltrak {

// Asks for a view's x range (in the axis's display unit) and value range, or the automatic
// value axis. A refused entry is named in the dialog, which stays open.
class TRangeDialog : public QDialog {
public:
    // shown: the range as drawn now (its values filled in even while automatic).
    TRangeDialog(const TUserRange& shown, bool automaticValues, const TRangeLimits& limits, QWidget* parent);

    // The accepted range, in display units.
    const TUserRange& Range() const { return range_; }
    // The refusal last shown; empty while none.
    QString Error() const;

    void accept() override;

private:
    TRangeEntry Entry() const;

    TRangeLimits limits_;
    TUserRange range_;
    QLineEdit* xFrom_;
    QLineEdit* xTo_;
    QLineEdit* valueFrom_;
    QLineEdit* valueTo_;
    QCheckBox* automatic_;
    QLabel* error_;
};

}  // namespace zeltrak
