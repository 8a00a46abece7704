#pragma once
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "generator/signal_setup.h"
#include "views/qt/settings_dialogs.h"

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace zeltrak {

class Host;

// A signal type's parameter dialog. It edits a copy of the channel's whole signal: each field
// is bound to one member of that copy and read back on OK, then the type's check runs; a
// refusal shows its message and keeps the dialog open.
class TSignalDialog : public TSettingsDialogBase {
public:
    TSignalDialog(Host& host, const QString& title, const SignalSetup& current, QWidget* parent);
    SignalSetup& Working() { return working_; }
    void SetCheck(std::function<std::string(const SignalSetup&)> check) { check_ = std::move(check); }

    // Fields on their own rows. Numbers that do not read as numbers (letters, nothing) fail
    // the check like an out-of-range value.
    QLineEdit* Real(const char* name, const QString& label, float& value, const char* format);
    QLineEdit* Whole(const char* name, const QString& label, int32_t& value);
    QLineEdit* Text(const char* name, const QString& label, std::string& value, int limit);
    QLineEdit* WaveFile(const char* name, const QString& label, std::string& value);
    QCheckBox* Flag(const char* name, const QString& label, int32_t& flag);
    // Radio buttons, one per (label, value); the one matching `value` is checked.
    template <typename T>
    void Choice(const char* name, std::initializer_list<std::pair<const char*, int>> options, T& value) {
        AddRadios(name, options, static_cast<int>(value), [&value](int v) { value = static_cast<T>(v); });
    }
    void Finish() { TSettingsDialogBase::Finish(); }

    // The same fields without a row, for the callers' own grids.
    QLineEdit* RealEdit(const char* name, float& value, const char* format);
    QCheckBox* FlagBox(const char* name, const QString& label, int32_t& flag);
    QFormLayout* Form() { return form_; }

protected:
    bool Apply(std::string& message) override;

private:
    void AddRadios(const char* name, std::initializer_list<std::pair<const char*, int>> options, int current,
                   std::function<void(int)> store);

    SignalSetup working_;
    std::vector<std::function<void()>> readers_;
    std::function<std::string(const SignalSetup&)> check_;
};

// False for the types without parameters (the noises, 1 kHz Tone, Digital Zero).
bool HasParameterDialog(SignalType type);
// The type's dialog on a copy of `current`; null for a type without parameters. `maxHz` is the
// output's highest frequency.
std::unique_ptr<TSignalDialog> MakeSignalDialog(Host& host, SignalType type, const SignalSetup& current, long maxHz,
                                                QWidget* parent);

// The output level dialog: both levels, their units (as the full-scale mode offers them), the
// card's full-scale voltage typed, unknown or from the preset list.
class TOutputLevelDialog : public TSettingsDialogBase {
public:
    TOutputLevelDialog(Host& host, const OutputLevelSetup& current, QWidget* parent);
    const OutputLevelSetup& Result() const { return result_; }

protected:
    bool Apply(std::string& message) override;

private:
    FullScaleMode Mode() const;
    void ShowMode(FullScaleMode mode, std::optional<OutputUnits> keep);
    void PickPreset(int index);

    OutputLevelSetup result_;
    QLineEdit* left_;
    QLineEdit* right_;
    QComboBox* units_;
    QButtonGroup* modes_;
    QLineEdit* fullScale_;
    QComboBox* presets_;
};

}  // namespace zeltrak
