// The two editors on the pages of the main window, working on the engine's data.
#include "app/DynamicsEditor.h"
#include "app/EqualizerEditor.h"
#include "app/MainForm.h"

namespace sonari {

TEditorContext TMainForm::EditorContext() {
    return {Dsp->Equalizer(),
            [this](const std::function<void(TMicEqualizer&)>& edit) { Dsp->EditEqualizer(edit); },
            Dsp->Analysis(), [this] { return Dsp->Mode(); }, [this] { MarkModified(); }};
}

QWidget* TMainForm::CreateEqualizerEditor(QWidget* parent) {
    return new TEqualizerEditor(EditorContext(), parent);
}

QWidget* TMainForm::CreateDynamicsEditor(QWidget* parent) {
    return new TDynamicsEditor(EditorContext(), parent);
}

} // namespace sonari
