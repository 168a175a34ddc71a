// The controls of the main window and where they sit.
#include "app/AppIcons.h"
#include "app/MainForm.h"
#include "app/Shape.h"
#include "controls/VolumeSlider.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>

namespace sonari {
namespace {

constexpr int kLeftColumnWidth = 237;
constexpr int kPanelSpacing = 5; // grey spacers between the step panels
constexpr int kStepButtonSize = 28;
constexpr int kToolButtonSize = 28;
constexpr int kInputBarWidth = 189, kInputBarHeight = 14;
constexpr int kOutputBarWidth = 131, kOutputBarHeight = 11;
constexpr int kPaintBoxWidth = 556, kPaintBoxHeight = 276;
constexpr int kSliderWidth = 100, kSliderHeight = 22;
constexpr int kSwitchColumnWidth = 186, kOutputPanelWidth = 180;
const QColor kLeftColumnGrey(128, 128, 128);
const QColor kOutputPanelColour(232, 255, 255);
const QColor kLime(0, 255, 0);

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QFont Bold(QFont font) {
    font.setBold(true);
    return font;
}

void FillBackground(QWidget* widget, QColor colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QToolButton* ToolButton(const char* name, const QString& hint, const QIcon& icon, QWidget* parent) {
    auto* button = Named(new QToolButton(parent), name);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(20, 20));
    button->setFixedSize(kToolButtonSize, kToolButtonSize);
    return button;
}

// A caption label followed by its value label in one row of a grid.
QLabel* FigureRow(QGridLayout* grid, int row, const char* caption, const char* name,
                  QWidget* parent) {
    grid->addWidget(new QLabel(caption, parent), row, 0);
    auto* value = Named(new QLabel(parent), name);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setMinimumWidth(70);
    grid->addWidget(value, row, 1);
    return value;
}

TVolumeSlider* Slider(const char* name, float value, QWidget* parent) {
    auto* slider = Named(new TVolumeSlider(parent), name);
    slider->setFixedSize(kSliderWidth, kSliderHeight);
    slider->SetValue(value);
    return slider;
}

} // namespace

void TMainForm::BuildControls() {
    setObjectName("MainForm");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    auto* central = Named(new QWidget(this), "Central");
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(BuildLeftColumn());
    auto* right = new QVBoxLayout;
    right->setContentsMargins(6, 4, 6, 4);
    right->setSpacing(4);
    right->addWidget(BuildPages(), 0, Qt::AlignHCenter);
    right->addWidget(BuildLowerArea(), 1);
    row->addLayout(right, 1);
    setCentralWidget(central);
    BuildStatusBar();
}

// ---- left column: toolbar, then the five steps --------------------------------------------

QWidget* TMainForm::BuildLeftColumn() {
    auto* column = Named(new QWidget(this), "Panel1");
    column->setFixedWidth(kLeftColumnWidth);
    FillBackground(column, kLeftColumnGrey);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kPanelSpacing);

    layout->addWidget(BuildToolbar());
    Label2 = Named(
        WrappedLabel("To configure the audio processor, perform steps 1 through 4 below", column),
        "Label2");
    Label2->setFont(Bold(Label2->font()));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setContentsMargins(6, 4, 6, 4);
    FillBackground(Label2, palette().color(QPalette::Window));
    layout->addWidget(Label2);

    layout->addWidget(BuildStepPanel(dmStop, "StopBtn", "0", "STOP"));
    layout->addWidget(BuildStepPanel(dmSelectDevices, "SndCardBtn", "1", "Select sound devices"));
    layout->addWidget(BuildGainStep());
    layout->addWidget(BuildRecordStep());
    QWidget* playStep = BuildStepPanel(dmPlay, "PlayBtn", "4",
                                       "Play back the recording and adjust the equalizer and "
                                       "clipper");
    static_cast<QBoxLayout*>(playStep->layout())->addStretch(1);
    layout->addWidget(playStep, 1); // the last panel takes the rest of the column
    StopBtn = StepButtons[dmStop];
    SndCardBtn = StepButtons[dmSelectDevices];
    GainBtn = StepButtons[dmAdjustGain];
    RecBtn = StepButtons[dmRecord];
    PlayBtn = StepButtons[dmPlay];
    StopBtn->setChecked(true);
    GainBtn->setEnabled(false);
    RecBtn->setEnabled(false);
    PlayBtn->setEnabled(false);
    return column;
}

QWidget* TMainForm::BuildToolbar() {
    auto* bar = Named(new QFrame(this), "Panel2");
    FillBackground(bar, palette().color(QPalette::Window));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(1);
    QStyle* style = this->style();
    SpeedButton7 = ToolButton("SpeedButton7", "Load Profile",
                              style->standardIcon(QStyle::SP_DialogOpenButton), bar);
    SpeedButton5 = ToolButton("SpeedButton5", "Save Profile",
                              style->standardIcon(QStyle::SP_DialogSaveButton), bar);
    SpeedButton1 = ToolButton("SpeedButton1", "Start Processing", RunIcon(), bar);
    SpeedButton3 = ToolButton("SpeedButton3", "Stop Processing", StopIcon(), bar);
    SpeedButton4 = ToolButton("SpeedButton4", "Startup Options",
                              style->standardIcon(QStyle::SP_FileDialogDetailedView), bar);
    SpeedButton6 = ToolButton("SpeedButton6", "About this program",
                              style->standardIcon(QStyle::SP_MessageBoxInformation), bar);
    // Exactly one of Start and Stop is down.
    auto* group = new QButtonGroup(bar);
    for (QToolButton* button : {SpeedButton1, SpeedButton3}) {
        button->setCheckable(true);
        group->addButton(button);
    }
    group->setExclusive(true);
    SpeedButton3->setChecked(true);

    layout->addWidget(SpeedButton7);
    layout->addWidget(SpeedButton5);
    layout->addSpacing(8);
    layout->addWidget(SpeedButton1);
    layout->addWidget(SpeedButton3);
    layout->addSpacing(8);
    layout->addWidget(SpeedButton4);
    layout->addStretch(1);
    layout->addWidget(SpeedButton6);
    return bar;
}

// A step's panel: its toggle button with a bold number and the step's text beside it.
QWidget* TMainForm::BuildStepPanel(int tag, const char* name, const char* caption,
                                   const char* text) {
    auto* panel = new QFrame(this);
    panel->setObjectName(QString("StepPanel%1").arg(tag));
    FillBackground(panel, palette().color(QPalette::Window));
    auto* button = Named(new QPushButton(caption, panel), name);
    button->setCheckable(true);
    button->setFont(Bold(button->font()));
    button->setFixedSize(kStepButtonSize, kStepButtonSize);
    button->setFocusPolicy(Qt::TabFocus);
    StepButtons[tag] = button;

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(6);
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(button, 0, Qt::AlignTop);
    auto* label = WrappedLabel(text, panel);
    label->setObjectName(tag == dmStop ? "Label1" : QString("StepLabel%1").arg(tag));
    label->setMinimumHeight(kStepButtonSize); // one line sits level with the button
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->addWidget(label, 1, Qt::AlignTop);
    layout->addLayout(header);
    return panel;
}

QWidget* TMainForm::BuildGainStep() {
    QWidget* panel = BuildStepPanel(dmAdjustGain, "GainBtn", "2",
                                    "Speak to the microphone and adjust Mic Gain in the soundcard");
    auto* layout = static_cast<QVBoxLayout*>(panel->layout());
    auto* barArea = new QWidget(panel);
    BuildInputBar(barArea);
    layout->addWidget(barArea, 0, Qt::AlignHCenter);

    auto* gainRow = new QHBoxLayout;
    CheckBox1 = Named(new QCheckBox("Software Gain", panel), "CheckBox1");
    SpinEdit2 = Named(new QSpinBox(panel), "SpinEdit2");
    SpinEdit2->setRange(-100, 100);
    SpinEdit2->setValue(20);
    SpinEdit2->setFixedWidth(64);
    gainRow->addWidget(CheckBox1);
    gainRow->addStretch(1);
    gainRow->addWidget(SpinEdit2);
    gainRow->addWidget(new QLabel("dB", panel));
    layout->addLayout(gainRow);
    return panel;
}

// Panel4 (white frame, lime bar Shape2, black centre mark ShapeMid) with "-MAX", "0" and
// "+MAX" under its left end, centre and right end.
void TMainForm::BuildInputBar(QWidget* area) {
    const int labelHeight = area->fontMetrics().height();
    area->setFixedSize(kInputBarWidth, kInputBarHeight + 1 + labelHeight);
    Panel4 = Named(new QWidget(area), "Panel4");
    Panel4->setGeometry(0, 0, kInputBarWidth, kInputBarHeight);
    Shape1 = new TShape("Shape1", Qt::white, Panel4);
    Shape1->SetPen(Qt::black);
    Shape1->setGeometry(0, 0, kInputBarWidth, kInputBarHeight);
    Shape2 = new TShape("Shape2", kLime, Panel4);
    Shape2->setGeometry(0, 1, 0, kInputBarHeight - 2);
    ShapeMid = new TShape("ShapeMid", Qt::black, Panel4);
    ShapeMid->setGeometry(0, 0, 2, kInputBarHeight);

    const int top = kInputBarHeight + 1;
    const int third = kInputBarWidth / 3;
    auto* minus = new QLabel("-MAX", area);
    minus->setGeometry(0, top, third, labelHeight);
    auto* zero = new QLabel("0", area);
    zero->setAlignment(Qt::AlignHCenter);
    zero->setGeometry(third, top, kInputBarWidth - 2 * third, labelHeight);
    auto* plus = new QLabel("+MAX", area);
    plus->setAlignment(Qt::AlignRight);
    plus->setGeometry(kInputBarWidth - third, top, third, labelHeight);
}

QWidget* TMainForm::BuildRecordStep() {
    QWidget* panel = BuildStepPanel(dmRecord, "RecBtn", "3", "Record 5 seconds of your voice");
    ProgressBar1 = Named(new QProgressBar(panel), "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedSize(kInputBarWidth, kInputBarHeight);
    static_cast<QVBoxLayout*>(panel->layout())->addWidget(ProgressBar1, 0, Qt::AlignHCenter);
    return panel;
}

// ---- right side: the editors' pages and the lower control area ----------------------------

QWidget* TMainForm::BuildPages() {
    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    const auto page = [this](const char* name, QWidget* (TMainForm::*create)(QWidget*)) {
        auto* tab = Named(new QWidget(PageControl1), name);
        auto* layout = new QVBoxLayout(tab);
        layout->setContentsMargins(4, 4, 4, 4);
        auto* holder = new QWidget(tab); // the editor's double-buffered panel
        holder->setFixedSize(kPaintBoxWidth, kPaintBoxHeight);
        QWidget* editor = (this->*create)(holder);
        editor->setGeometry(0, 0, kPaintBoxWidth, kPaintBoxHeight);
        editor->setCursor(Qt::CrossCursor);
        layout->addWidget(holder, 0, Qt::AlignCenter);
        return std::make_pair(tab, editor);
    };
    auto [equalizerTab, equalizer] = page("TabSheet1", &TMainForm::CreateEqualizerEditor);
    auto [clipperTab, clipper] = page("TabSheet2", &TMainForm::CreateDynamicsEditor);
    PaintBox1 = equalizer;
    PaintBox2 = clipper;
    PageControl1->addTab(equalizerTab, "Equalizer");
    PageControl1->addTab(clipperTab, "Clipper");
    return PageControl1;
}

QWidget* TMainForm::BuildLowerArea() {
    Panel11 = Named(new QWidget(this), "Panel11");
    // Hidden in steps 2 and 3 without the pages above moving.
    QSizePolicy policy = Panel11->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    Panel11->setSizePolicy(policy);
    auto* layout = new QHBoxLayout(Panel11);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(BuildEqualizerGroups());
    layout->addWidget(BuildOutputPanel());
    layout->addWidget(BuildPlaybackGroup(), 1);
    return Panel11;
}

QWidget* TMainForm::BuildEqualizerGroups() {
    auto* column = new QWidget(Panel11);
    column->setFixedWidth(kSwitchColumnWidth);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* equalizer = Named(new QGroupBox(" Equalizer ", column), "GroupBox1");
    auto* equalizerRow = new QHBoxLayout(equalizer);
    CheckBox2 = Named(new QCheckBox("Enabled", equalizer), "CheckBox2");
    CheckBox2->setChecked(true);
    SpeedButton2 = Named(new QPushButton("Reset", equalizer), "SpeedButton2");
    equalizerRow->addWidget(CheckBox2);
    equalizerRow->addStretch(1);
    equalizerRow->addWidget(SpeedButton2);
    layout->addWidget(equalizer);

    auto* dynamics = Named(new QGroupBox(" Gate / Compressor / Clipper ", column), "GroupBox2");
    auto* dynamicsRow = new QHBoxLayout(dynamics);
    CheckBox3 = Named(new QCheckBox("Enabled", dynamics), "CheckBox3");
    dynamicsRow->addWidget(CheckBox3);
    layout->addWidget(dynamics);

    auto* output = Named(new QGroupBox(" Output Gain ", column), "GroupBox3");
    auto* outputRow = new QHBoxLayout(output);
    VolumeSlider3 = Slider("VolumeSlider3", 1.0f, output);
    // The slider's own dB reading is the output gain: (Value - 1) * 80 dB.
    VolumeSlider3->SetDbScale(80.0f);
    VolumeSlider3->SetDbMax(0.0f);
    outputRow->addWidget(VolumeSlider3, 0, Qt::AlignHCenter);
    layout->addWidget(output);
    layout->addStretch(1);
    return column;
}

QWidget* TMainForm::BuildOutputPanel() {
    auto* panel = Named(new QFrame(Panel11), "Panel12");
    panel->setFixedWidth(kOutputPanelWidth);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    FillBackground(panel, kOutputPanelColour);
    auto* layout = new QGridLayout(panel);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setVerticalSpacing(6);

    auto* title = new QLabel("Output", panel);
    title->setFont(Bold(title->font()));
    layout->addWidget(title, 0, 0, 1, 2);

    auto* barRow = new QHBoxLayout;
    Shape10 = new TShape("Shape10", Qt::white, panel);
    Shape10->SetPen(Qt::black);
    Shape10->setFixedSize(kOutputBarWidth, kOutputBarHeight);
    Shape11 = new TShape("Shape11", kLime, Shape10);
    Shape11->setGeometry(0, 0, 0, kOutputBarHeight);
    Shape12 = new TShape("Shape12", Qt::red, Shape10);
    Shape12->setGeometry(-2, 0, 2, kOutputBarHeight);
    Shape13 = new TShape("Shape13", Qt::gray, panel);
    Shape13->setFixedSize(6, 7);
    barRow->addWidget(Shape10);
    barRow->addSpacing(4);
    barRow->addWidget(Shape13);
    barRow->addStretch(1);
    layout->addLayout(barRow, 1, 0, 1, 2);

    Label19 = FigureRow(layout, 2, "V r.m.s. =", "Label19", panel);
    Label20 = FigureRow(layout, 3, "V peak =", "Label20", panel);
    Label21 = FigureRow(layout, 4, "Peak Factor =", "Label21", panel);
    layout->setRowStretch(5, 1);
    return panel;
}

QWidget* TMainForm::BuildPlaybackGroup() {
    auto* group = Named(new QGroupBox(" Playback ", Panel11), "GroupBox4");
    auto* layout = new QGridLayout(group);
    layout->setVerticalSpacing(4);

    layout->addWidget(new QLabel("Volume", group), 0, 0);
    VolumeSlider1 = Slider("VolumeSlider1", 0.5f, group);
    // The slider's own dB reading is the playback gain: (Value - 0.75) * 80 dB.
    VolumeSlider1->SetDbScale(80.0f);
    VolumeSlider1->SetDbMax(20.0f);
    layout->addWidget(VolumeSlider1, 0, 1);

    CheckBox4 = Named(new QCheckBox("Add Noise", group), "CheckBox4");
    CheckBox4->setEnabled(false);
    layout->addWidget(CheckBox4, 1, 0, 1, 2);
    auto* noiseKinds = new QHBoxLayout;
    RadioButton1 = Named(new QRadioButton("QRN", group), "RadioButton1");
    RadioButton1->setChecked(true);
    RadioButton2 = Named(new QRadioButton("QRM", group), "RadioButton2");
    noiseKinds->addWidget(RadioButton1);
    noiseKinds->addWidget(RadioButton2);
    noiseKinds->addStretch(1);
    layout->addLayout(noiseKinds, 2, 0, 1, 2);
    VolumeSlider2 = Slider("VolumeSlider2", 0.5f, group);
    VolumeSlider2->SetShowHint(false);
    layout->addWidget(VolumeSlider2, 3, 1);
    for (QWidget* control :
         std::initializer_list<QWidget*>{RadioButton1, RadioButton2, VolumeSlider2})
        control->setEnabled(false);

    layout->addWidget(new QLabel("P.e.p. SNR =", group), 4, 0);
    Label8 = Named(new QLabel(group), "Label8");
    Label8->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(Label8, 4, 1);
    layout->setRowStretch(5, 1);
    return group;
}

void TMainForm::BuildStatusBar() {
    StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusLabel = Named(new QLabel("  Default profile", StatusBar1), "StatusLabel");
    StatusBar1->addWidget(StatusLabel, 1);
    setStatusBar(StatusBar1);
}

} // namespace sonari
