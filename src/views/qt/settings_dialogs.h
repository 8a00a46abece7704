#pragma once
#include <QDialog>

#include "engine/processing_settings.h"
#include "views/qt/file_dialogs.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QLineEdit;

namespace zeltrak {

class Host;
class TFormatQuery;

// The settings dialogs. OK hands the fields to the shared validation; a refusal shows its
// message (program title as caption) and the dialog stays open with the live settings
// untouched. Fields carry object names so tests and automation can reach them.
class TSettingsDialogBase : public QDialog {
public:
    TSettingsDialogBase(Host& host, const QString& title, QWidget* parent);
    void accept() override;
    // What the Browse buttons open; the Qt open-file dialog unless replaced.
    void SetFileBrowser(TFileBrowser browser) { browser_ = std::move(browser); }

protected:
    // Validates and, on success, stores; returns the refusal text otherwise.
    virtual bool Apply(std::string& message) = 0;
    QLineEdit* AddEdit(const char* name, const QString& label, const std::string& text);
    // A file name field with a Browse button; `title` and `filter` are the file dialog's.
    QLineEdit* AddFileEdit(const char* name, const QString& label, const std::string& text, const QString& title,
                           const QString& filter);
    QCheckBox* AddCheck(const char* name, const QString& label, bool checked);
    QComboBox* AddChoice(const char* name, const QString& label);
    void Finish();

    Host& host_;
    QFormLayout* form_ = nullptr;
    TFileBrowser browser_;
};

class TProcessingDialog : public TSettingsDialogBase {
public:
    TProcessingDialog(Host& host, ProcessingSettings& settings, TFormatQuery& device, QWidget* parent = nullptr);

protected:
    bool Apply(std::string& message) override;

private:
    ProcessingSettings& settings_;
    TFormatQuery& device_;
    QComboBox* channels_;
    QComboBox* bytes_;
    QLineEdit* rate_;
    QComboBox* fftSize_;
    QLineEdit* decimation_;
    QCheckBox* lowPass_;
    QLineEdit* averages_;
    QCheckBox* peakHold_;
    QComboBox* window_;
    QLineEdit* overlap_;
    QComboBox* averageType_;
    QComboBox* channelProcessing_;
    QLineEdit* delay_;
    QComboBox* delayChannel_;
    QCheckBox* overload_;
    QCheckBox* excludeOverload_;
};

class TTriggerDialog : public TSettingsDialogBase {
public:
    TTriggerDialog(Host& host, TriggerBlock& trigger, QWidget* parent = nullptr);

protected:
    bool Apply(std::string& message) override;

private:
    TriggerBlock& trigger_;
    QCheckBox* enable_;
    QCheckBox* autoReset_;
    QComboBox* channel_;
    QLineEdit* threshold_;
    QComboBox* type_;
    QLineEdit* delay_;
    QComboBox* delayType_;
    QComboBox* slope_;
};

class TScalingDialog : public TSettingsDialogBase {
public:
    // coherenceSquared: the coherence shown as γ² rather than |γ| (kept outside the block).
    // phaseBlankDepthDb, when given: the phase view's blanking depth, edited in a field of its own.
    TScalingDialog(Host& host, ScalingBlock& scaling, bool& coherenceSquared, QWidget* parent = nullptr,
                   double* phaseBlankDepthDb = nullptr, double* phaseBlankCoherence = nullptr);

protected:
    bool Apply(std::string& message) override;

private:
    ScalingBlock& scaling_;
    bool& coherenceSquared_;
    double* phaseBlankDepthDb_;
    double* phaseBlankCoherenceValue_;
    QComboBox* amplitude_;
    QComboBox* axis_;
    QCheckBox* density_;
    QComboBox* densityType_;
    QComboBox* weighting_;
    QCheckBox* micComp_;
    QLineEdit* micLeft_;
    QLineEdit* micRight_;
    QCheckBox* coherence_;
    QLineEdit* phaseBlankDepth_ = nullptr;
    QLineEdit* phaseBlankCoherence_ = nullptr;
};

class TFileOptionsDialog : public TSettingsDialogBase {
public:
    TFileOptionsDialog(Host& host, FileIOBlock& fileIO, QWidget* parent = nullptr);

protected:
    bool Apply(std::string& message) override;

private:
    FileIOBlock& fileIO_;
    QLineEdit* bufferSecs_;
    QLineEdit* ramSecs_;
    QLineEdit* diskMB_;
    QCheckBox* bufferEnable_;
    QComboBox* fileMode_;
    QCheckBox* backup_;
    QCheckBox* calibration_;
};

}  // namespace zeltrak
