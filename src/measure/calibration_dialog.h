#pragma once
#include <functional>
#include <string>
#include <vector>

#include "files/calibration_record.h"
#include "measure/calibration.h"
#include "measure/calibration_measurement.h"
#include "platform/host.h"

namespace zeltrak {

// The calibration dialog without its window: the fields as the user sees them, the lists,
// the label proposals, and the commands. It edits a working copy of the application's record;
// Close hands the copy back.
class TCalibrationDialog {
public:
    // Runs the measurement on the record (the caller binds the sound input and device).
    using Measure = std::function<CalibrationReport(CalibrationRecord&)>;

    TCalibrationDialog(const CalibrationRecord& record, Host& host);

    // Fields. Every setter counts as an edit.
    struct Fields {
        std::string refLevel;
        int refTypeIndex = 0;
        int unitIndex = 0;
        int labelTypeIndex = 0;
        int conversionIndex = 0;
        std::string labelLinear;
        std::string labelLog;
        std::string pctLeft;  // percent
        std::string pctRight;
        std::string leftName;
        std::string rightName;
        bool enabled = false;
        std::string fileName;
    };
    const Fields& GetFields() const { return fields_; }
    // Texts typed into the dialog (the lists are set through the Select calls).
    void SetRefLevelText(const std::string& t) { Edit(fields_.refLevel, t); }
    void SetPercentTexts(const std::string& left, const std::string& right);
    void SetLabels(const std::string& linear, const std::string& log);
    void SetChannelNames(const std::string& left, const std::string& right);
    void SetEnabled(bool enabled);
    void SetFileName(const std::string& name) { Edit(fields_.fileName, name); }
    void SelectRefType(int index);
    // A new unit refills the conversion list and proposes labels; so do the other two.
    void SelectUnit(int index);
    void SelectLabelType(int index);
    void SelectConversion(int index);

    // The texts of the conversion list for the selected unit ("N/A" alone unless acceleration).
    std::vector<std::string> ConversionItems() const;

    // Fields into the working record; refuses a negative reference level with a message and
    // then takes nothing over.
    bool TransferFields();
    void New();
    // Transfers the fields and measures; a successful run marks the dialog changed and enables
    // Save. The fractions are shown in any case.
    CalibrationReport Calibrate(const Measure& measure);
    // Loads a .cal file (the caller ran the chooser titled "Open Calibration File").
    bool Open(const std::string& path);
    // Saves to `path` (the caller ran the chooser titled "Save Calibration File").
    bool Save(const std::string& path);
    // Asks to save unsaved changes; false while the dialog stays open. On true, Record() is
    // what the application takes over.
    bool Close();

    const CalibrationRecord& Record() const { return record_; }
    bool Changed() const { return changed_; }
    bool SaveEnabled() const { return saveEnabled_; }
    // The open and save choosers' filter, "Calibration Files (*.cal)|*.cal|".
    static std::string FileFilter();

private:
    void Refresh();
    void ProposeLabels();
    int32_t UnitCode() const;
    int32_t ConversionCode() const;
    void Edit(std::string& field, const std::string& value) {
        field = value;
        changed_ = true;
    }

    CalibrationRecord record_;
    Host& host_;
    Fields fields_;
    bool changed_ = false;
    bool saveEnabled_ = false;
};

}  // namespace zeltrak
