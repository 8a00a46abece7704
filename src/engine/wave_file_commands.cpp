#include "engine/wave_file_commands.h"

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "base/strings.h"
#include "dsp/channel_processing.h"
#include "engine/engine.h"
#include "engine/engine_strings.h"
#include "engine/processing_settings.h"
#include "engine/wave_file_status.h"
#include "files/calibration_record.h"
#include "files/wave_file.h"
#include "files/wave_strings.h"
#include "measure/calibration.h"
#include "measure/calibration_dialog.h"
#include "measure/measure_strings.h"
#include "platform/host.h"
#include "platform/input_file.h"

namespace zeltrak {

namespace {

constexpr const char* kFileFormatAdopted =
    "The analyzer now uses the file's format: %s.  Recordings will use it too until it is changed under "
    "<Options><Settings>.";

std::string FormatDescription(const SampleFormat& f) {
    const uint32_t rate = f.rate;
    return std::to_string(rate) + " Hz, " + (f.channels == 2 ? "stereo" : "mono") + ", " +
           std::to_string(8 * f.bytesPerSample) + " bit";
}

std::string Format1(const char* format, const std::string& a) {
    std::vector<char> out(std::char_traits<char>::length(format) + a.size() + 1);
    std::snprintf(out.data(), out.size(), format, a.c_str());
    return out.data();
}

std::string Format2(const char* format, const std::string& a, const std::string& b) {
    std::vector<char> out(std::char_traits<char>::length(format) + a.size() + b.size() + 1);
    std::snprintf(out.data(), out.size(), format, a.c_str(), b.c_str());
    return out.data();
}

}  // namespace

TWaveFileCommands::TWaveFileCommands(Host& host, TEngine& engine, ProcessingSettings& settings,
                                     CalibrationRecord& calibration, TWaveFileChooser& chooser, std::string tempDir,
                                     TWaveFileEvents events)
    : host_(host),
      engine_(engine),
      settings_(settings),
      calibration_(calibration),
      chooser_(chooser),
      tempDir_(std::move(tempDir)),
      events_(std::move(events)),
      caption_(kProgramTitle) {}

// ---------------------------------------------------------------------------------------------
// Open

bool TWaveFileCommands::OpenFromMenu() {
    // Refused before the dialog: a name chosen only to be turned away is wasted work.
    if (settings_.Mode.OpMode == kModeRealTime) {
        ShowMessage(host_, kStrWaveOpenInRealTime);
        return false;
    }
    const std::optional<std::string> name = chooser_.ChooseOpenFile(kStrWaveOpenTitle, kStrWaveFileFilter);
    if (!name || name->empty()) return false;
    return Open(*name, OpenOrigin::Menu);
}

bool TWaveFileCommands::Open(const std::string& name, OpenOrigin origin) {
    const bool fromRealTime = settings_.Mode.OpMode == kModeRealTime;
    if (fromRealTime && origin == OpenOrigin::Menu) {
        ShowMessage(host_, kStrWaveOpenInRealTime);
        return false;
    }
    if (!Close()) return false;
    if (!IsReadableRegularFile(name)) {
        ShowMessage(host_, Format1(kStrWaveShellOpenFailure, name), MessageIcon::Error);
        return false;
    }

    host_.SetStatusText(kStrWaveOpening);
    const FileIOBlock& io = settings_.FileIO;
    auto file = MakeWaveFile(host_, name, static_cast<uint16_t>(io.WaveFileMode), io.MakeBackup != 0, tempDir_);
    host_.SetStatusText("");
    // The wave file has told the user what was wrong with it.
    if (file->Error()) return false;

    if (file->CalibrationPresent()) {
        calibration_ = file->GetCalibration();
        if (events_.calibrationChanged) events_.calibrationChanged();
    } else if (calibration_.IsEnabled) {
        AskAboutCalibration();
    }
    ApplyCalibration();
    ApplyCalibrationToWave(calibration_, *file);

    SettingsBlock& s = settings_.Settings();
    const SampleFormat previous = s.format;
    s.format = file->Format();
    if (s.format.channels != 2) s.ChannelProcessing = ChannelModeCode(ChannelProcessingMode::Left);
    else if (ChannelModeFromCode(s.ChannelProcessing) == ChannelProcessingMode::Left)
        s.ChannelProcessing = ChannelModeCode(ChannelProcessingMode::Both);
    // The file's format outlives the file as the format of the next recording: say so.
    if (s.format != previous)
        ShowMessage(host_, Format1(kFileFormatAdopted, FormatDescription(s.format)), MessageIcon::Information);

    file->Rewind();
    temporaryName_.clear();
    nameUnconfirmed_ = false;
    engine_.SetWaveFile(std::move(file));
    SetCaption(FileCaption());

    if (fromRealTime) {
        settings_.Mode.OpMode = kModePostProcessing;
        if (events_.modeChanged) events_.modeChanged(kModePostProcessing);
    }
    if (events_.named) events_.named(name);
    if (events_.fileChanged) events_.fileChanged();
    return true;
}

void TWaveFileCommands::AskAboutCalibration() {
    const std::string text = Format1(kStrWaveWrongCalibration, calibration_.Filename);
    switch (chooser_.AskWrongCalibration(text)) {
        case CalibrationChoice::KeepCurrent:
            return;
        case CalibrationChoice::SelectOther: {
            const std::optional<std::string> cal =
                chooser_.ChooseOpenFile(kOpenCalibrationTitle, TCalibrationDialog::FileFilter());
            if (!cal || cal->empty()) return;
            // Loaded into a copy: a file that cannot be read would otherwise swap the
            // calibration in force for the defaults without a word.
            CalibrationRecord loaded = calibration_;
            if (!LoadCalibration(*cal, loaded)) {
                ShowMessage(host_, Format1(kStrWaveShellOpenFailure, *cal), MessageIcon::Error);
                return;
            }
            calibration_ = loaded;
            break;
        }
        case CalibrationChoice::Disable:
            calibration_.IsEnabled = 0;
            break;
    }
    if (events_.calibrationChanged) events_.calibrationChanged();
}

void TWaveFileCommands::ApplyCalibration() { engine_.SetCalibration(calibration_); }

// ---------------------------------------------------------------------------------------------
// Close

bool TWaveFileCommands::Close() { return CloseFile(false); }

bool TWaveFileCommands::CloseBeforeRealTimeRun() { return CloseFile(true); }

bool TWaveFileCommands::CloseFile(bool askInRealTime) {
    TWaveFile* file = engine_.WaveFile();
    if (file == nullptr) return true;
    // A running capture is stopped first so that what it took is in the file before the
    // question; a recording is never thrown away unasked.
    if (engine_.Running()) engine_.Stop();

    if ((askInRealTime || settings_.Mode.OpMode != kModeRealTime) && file->Modified()) {
        const std::string shown = file->Untitled() || nameUnconfirmed_ ? kEngineUntitled : file->GetName();
        switch (host_.AskYesNoCancel(Format1(kStrWaveSaveBeforeClosing, shown), kProgramTitle)) {
            case Answer::Cancel:
                return false;
            case Answer::Yes:
                // A save that fails or whose name dialog is cancelled keeps the file open.
                if (!Save()) return false;
                break;
            case Answer::No:
                break;
        }
    }

    std::unique_ptr<TWaveFile> closing = engine_.TakeWaveFile();
    const std::string name = closing->Untitled() || nameUnconfirmed_ ? std::string() : closing->GetName();
    if (!name.empty()) lastClosedName_ = name;
    ReleaseWaveFile(host_, closing);
    if (!temporaryName_.empty()) ::unlink(temporaryName_.c_str());
    temporaryName_.clear();
    nameUnconfirmed_ = false;
    if (events_.fileChanged) events_.fileChanged();
    if (closedListener_ && !name.empty()) closedListener_(name);
    SetCaption(kProgramTitle);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Save

bool TWaveFileCommands::Save() {
    TWaveFile* file = engine_.WaveFile();
    if (file == nullptr) return false;
    if (file->Untitled() || nameUnconfirmed_) return SaveAs();
    return SaveUnder(nullptr);
}

bool TWaveFileCommands::SaveAs() {
    TWaveFile* file = engine_.WaveFile();
    if (file == nullptr) return false;
    const std::string current = file->Untitled() || nameUnconfirmed_ ? std::string() : file->GetName();
    const std::optional<std::string> name = chooser_.ChooseSaveFile(kStrWaveSaveTitle, kStrWaveFileFilter, current);
    if (!name || name->empty()) return false;
    return SaveAs(*name);
}

bool TWaveFileCommands::SaveAs(const std::string& name) {
    if (engine_.WaveFile() == nullptr || name.empty()) return false;
    return SaveUnder(&name);
}

bool TWaveFileCommands::SaveUnder(const std::string* newName) {
    TWaveFile& file = *engine_.WaveFile();
    // The loop writes into a recording or the Real-Time history while it runs; the file
    // must hold still while it is written out.
    const EngineRunState state = engine_.RunState();
    const bool realTimeRunning = state != EngineRunState::Stopped && settings_.Mode.OpMode == kModeRealTime;
    if (state == EngineRunState::Recording || realTimeRunning) engine_.Stop();

    const bool wasUntitled = file.Untitled() || nameUnconfirmed_;
    const std::string oldName = file.GetName();
    if (newName) file.SetName(*newName);
    host_.SetStatusText(kStrWaveSaving);
    if (calibration_.IsEnabled && settings_.FileIO.IncludeCalibrationData) file.SetCalibration(calibration_);
    const bool saved = SaveWaveFile(host_, file);
    host_.SetStatusText("");
    if (!saved) {
        // The wave file has reported the failure. A named file goes back to its old name; an
        // untitled one keeps being treated as untitled.
        if (wasUntitled) nameUnconfirmed_ = true;
        else if (newName) file.SetName(oldName);
        return false;
    }
    nameUnconfirmed_ = false;
    if (newName && *newName == temporaryName_) temporaryName_.clear();
    SetCaption(FileCaption());
    if (events_.named) events_.named(file.GetName());
    return true;
}

// ---------------------------------------------------------------------------------------------
// State

void TWaveFileCommands::SetTemporaryResult(bool temporary) {
    temporaryName_ = temporary ? OpenFileName() : std::string();
}

std::string TWaveFileCommands::OpenFileName() const {
    const TWaveFile* file = engine_.WaveFile();
    if (file == nullptr || file->Untitled() || nameUnconfirmed_) return "";
    return file->GetName();
}

bool TWaveFileCommands::FileIoOptionsLocked() const {
    return engine_.WaveFile() != nullptr && settings_.Mode.OpMode != kModeRealTime;
}

bool TWaveFileCommands::AllowFileIoOptionsChange() {
    if (!FileIoOptionsLocked()) return true;
    ShowMessage(host_, kStrWaveNoFileIoChange);
    return false;
}

std::string TWaveFileCommands::FileCaption() const {
    const std::string name = OpenFileName();
    return Format2(kEngineCaptionFile, kProgramTitle, name.empty() ? std::string(kEngineUntitled) : name);
}

void TWaveFileCommands::SetCaption(const std::string& caption) {
    caption_ = caption;
    if (events_.caption) events_.caption(caption_);
}

}  // namespace zeltrak
