#include "app/ProfileController.h"

#include "engine/SliderScales.h"
#include "settings/SettingsFile.h"

#include <QFileInfo>

namespace sonari {
namespace {

const QStringList kProfileFilters = {"Profiles (*.ini)", "All files (*)"};
constexpr const char* kSaveChanges = "Save changes?";
constexpr const char* kSaveModified = "Save modified profile?";

} // namespace

TProfileController::TProfileController(IProfileEngine& engine, IProfileView& view,
                                       TPrompts& prompts, const QString& folder)
    : engine_(engine), view_(view), prompts_(prompts),
      folder_(folder), openDialog_{"Load Profile", folder, kProfileFilters, "ini", {}, false},
      saveDialog_{"Save profile", folder, kProfileFilters, "ini", {}, true} {
    ForceDirectories(folder.toStdString());
}

void TProfileController::MarkModified() {
    modified_ = true;
    view_.ShowProfileText("  Modified profile");
}

TProfile TProfileController::Current() const {
    return ProfileOf(engine_.Equalizer(), view_.OutputGain());
}

std::optional<std::string> TProfileController::LoadLast() {
    if (fileName_.empty() || !QFileInfo(QString::fromStdString(fileName_)).isFile())
        return std::nullopt;
    TProfile profile = Current();
    try {
        LoadProfile(fileName_, profile);
    } catch (const std::exception& e) {
        return e.what();
    }
    Apply(profile);
    Become(fileName_);
    return std::nullopt;
}

bool TProfileController::OfferToSave(const QString& question) {
    if (!modified_)
        return true;
    switch (prompts_.AskYesNoCancel(question)) {
    case QMessageBox::Yes:
        SaveClick();
        return true;
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

bool TProfileController::CloseQuery() { return OfferToSave(kSaveModified); }

void TProfileController::LoadClick() {
    if (!OfferToSave(kSaveChanges))
        return;
    if (!saveDialog_.FileName.isEmpty())
        openDialog_.FileName = saveDialog_.FileName;
    const QString chosen = prompts_.ChooseFile(openDialog_);
    if (chosen.isEmpty())
        return;
    openDialog_.FileName = chosen;
    LoadFile(chosen);
}

void TProfileController::SaveClick() {
    saveDialog_.FileName = QString::fromStdString(fileName_);
    const QString chosen = prompts_.ChooseFile(saveDialog_);
    if (chosen.isEmpty())
        return;
    saveDialog_.FileName = chosen;
    SaveFile(chosen);
}

// Loads the file the item was listed for, whatever the letter case of its extension.
void TProfileController::Select(const QString& fileName) {
    if (OfferToSave(kSaveChanges))
        LoadFile(fileName);
}

void TProfileController::EqualizerSwitched(bool on) {
    engine_.EditEqualizer([on](TMicEqualizer& equalizer) {
        equalizer.SetEqualizerEnabled(on);
        if (!on)
            equalizer.SetClipperEnabled(false);
    });
    view_.ShowSwitches(engine_.Equalizer());
    MarkModified();
}

void TProfileController::DynamicsSwitched(bool on) {
    engine_.EditEqualizer([on](TMicEqualizer& equalizer) {
        equalizer.SetClipperEnabled(on);
        if (on)
            equalizer.SetEqualizerEnabled(true);
    });
    view_.ShowSwitches(engine_.Equalizer());
    MarkModified();
}

void TProfileController::OvershootSwitched(bool on) {
    engine_.EditEqualizer([on](TMicEqualizer& equalizer) { equalizer.SetOvershootControl(on); });
    MarkModified();
}

void TProfileController::ResetBands() {
    engine_.EditEqualizer([](TMicEqualizer& equalizer) { equalizer.SetBands({}); });
    view_.RepaintEditors();
    MarkModified();
}

void TProfileController::OutputGainChanged(float value) {
    const float db = OutputGainDb(value);
    const bool differs = db != engine_.InterpolatorGainDb();
    engine_.SetOutputGainDb(db);
    if (differs)
        MarkModified();
}

// The check boxes follow without running their handlers; the output gain's handler applies the
// gain to a running output.
void TProfileController::Apply(const TProfile& profile) {
    engine_.EditEqualizer([&](TMicEqualizer& equalizer) { ApplyProfile(profile, equalizer); });
    view_.ShowSwitches(engine_.Equalizer());
    view_.ShowOutputGain(profile.OutputGain);
    OutputGainChanged(profile.OutputGain);
}

void TProfileController::Become(const std::string& fileName) {
    fileName_ = fileName;
    view_.ShowProfileText(QString::fromStdString("  Profile: " + fileName));
    modified_ = false;
}

// A file that cannot be read leaves the current profile.
void TProfileController::LoadFile(const QString& fileName) {
    TProfile profile = Current();
    try {
        LoadProfile(fileName.toStdString(), profile);
    } catch (const std::exception& e) {
        prompts_.ShowError(QString::fromStdString(e.what()));
        return;
    }
    Apply(profile);
    Become(fileName.toStdString());
    view_.RepaintEditors();
}

void TProfileController::SaveFile(const QString& fileName) {
    try {
        SaveProfile(fileName.toStdString(), Current());
    } catch (const std::exception& e) {
        prompts_.ShowError(QString::fromStdString(e.what()));
        return;
    }
    Become(fileName.toStdString());
}

} // namespace sonari
