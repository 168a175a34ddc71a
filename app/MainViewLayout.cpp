// The controls of the main window and where they sit.
#include "app/AppIcons.h"
#include "app/DynamicsEditor.h"
#include "app/EqualizerEditor.h"
#include "app/MainView.h"
#include "app/Shape.h"
#include "controls/VolumeSlider.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace sonari {
namespace {

constexpr int kLeftColumnWidth = 237;
constexpr int kPanelSpacing = 5; // grey spacers between the step panels
constexpr int kStepButtonSize = 28;
constexpr int kToolButtonSize = 28;
constexpr int kInputBarWidth = 189, kInputBarHeight = 14;
constexpr int kOutputBarWidth = 131, kOutputBarHeight = 11;
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

void TMainView::BuildControls(const TEditorContext& editors) {
    window_.setObjectName("MainForm");
    window_.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window_.setFixedSize(kClientWidth, kClientHeight);

    auto* central = Named(new QWidget(&window_), "Central");
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(BuildLeftColumn());
    auto* right = new QVBoxLayout;
    right->setContentsMargins(6, 4, 6, 4);
    right->setSpacing(4);
    right->addWidget(BuildPages(editors), 0, Qt::AlignHCenter);
    right->addWidget(BuildLowerArea(), 1);
    row->addLayout(right, 1);
    window_.setCentralWidget(central);
    BuildStatusBar();
}

// ---- left column: toolbar, then the five steps --------------------------------------------

QWidget* TMainView::BuildLeftColumn() {
    auto* column = Named(new QWidget(&window_), "Panel1");
    column->setFixedWidth(kLeftColumnWidth);
    FillBackground(column, kLeftColumnGrey);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kPanelSpacing);

    layout->addWidget(BuildToolbar());
    auto* label2 = Named(
        WrappedLabel("To configure the audio processor, perform steps 1 through 4 below", column),
        "Label2");
    label2->setFont(Bold(label2->font()));
    label2->setAlignment(Qt::AlignCenter);
    label2->setContentsMargins(6, 4, 6, 4);
    FillBackground(label2, window_.palette().color(QPalette::Window));
    layout->addWidget(label2);

    layout->addWidget(BuildStepPanel(dmStop, "StopBtn", "0", "STOP"));
    layout->addWidget(BuildStepPanel(dmSelectDevices, "SndCardBtn", "1", "Select sound devices"));
    layout->addWidget(BuildGainStep());
    layout->addWidget(BuildRecordStep());
    QWidget* playStep = BuildStepPanel(dmPlay, "PlayBtn", "4",
                                       "Play back the recording and adjust the equalizer and "
                                       "clipper");
    static_cast<QBoxLayout*>(playStep->layout())->addStretch(1);
    layout->addWidget(playStep, 1); // the last panel takes the rest of the column
    stepButtons_[dmStop]->setChecked(true);
    EnableSteps(false, false);
    return column;
}

QWidget* TMainView::BuildToolbar() {
    auto* bar = Named(new QFrame(&window_), "Panel2");
    FillBackground(bar, window_.palette().color(QPalette::Window));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(1);
    QStyle* style = window_.style();
    speedButton7_ = ToolButton("SpeedButton7", "Load Profile",
                               style->standardIcon(QStyle::SP_DialogOpenButton), bar);
    speedButton5_ = ToolButton("SpeedButton5", "Save Profile",
                               style->standardIcon(QStyle::SP_DialogSaveButton), bar);
    speedButton1_ = ToolButton("SpeedButton1", "Start Processing", RunIcon(), bar);
    speedButton3_ = ToolButton("SpeedButton3", "Stop Processing", StopIcon(), bar);
    speedButton4_ = ToolButton("SpeedButton4", "Startup Options",
                               style->standardIcon(QStyle::SP_FileDialogDetailedView), bar);
    speedButton6_ = ToolButton("SpeedButton6", "About this program",
                               style->standardIcon(QStyle::SP_MessageBoxInformation), bar);
    // Exactly one of Start and Stop is down.
    auto* group = new QButtonGroup(bar);
    for (QToolButton* button : {speedButton1_, speedButton3_}) {
        button->setCheckable(true);
        group->addButton(button);
    }
    group->setExclusive(true);
    speedButton3_->setChecked(true);

    layout->addWidget(speedButton7_);
    layout->addWidget(speedButton5_);
    layout->addSpacing(8);
    layout->addWidget(speedButton1_);
    layout->addWidget(speedButton3_);
    layout->addSpacing(8);
    layout->addWidget(speedButton4_);
    layout->addStretch(1);
    layout->addWidget(speedButton6_);
    return bar;
}

// A step's panel: its toggle button with a bold number and the step's text beside it.
QWidget* TMainView::BuildStepPanel(int tag, const char* name, const char* caption,
                                   const char* text) {
    auto* panel = new QFrame(&window_);
    panel->setObjectName(QString("StepPanel%1").arg(tag));
    FillBackground(panel, window_.palette().color(QPalette::Window));
    auto* button = Named(new QPushButton(caption, panel), name);
    button->setCheckable(true);
    button->setFont(Bold(button->font()));
    button->setFixedSize(kStepButtonSize, kStepButtonSize);
    button->setFocusPolicy(Qt::TabFocus);
    stepButtons_[tag] = button;

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

QWidget* TMainView::BuildGainStep() {
    QWidget* panel = BuildStepPanel(dmAdjustGain, "GainBtn", "2",
                                    "Speak to the microphone and adjust Mic Gain in the soundcard");
    auto* layout = static_cast<QVBoxLayout*>(panel->layout());
    auto* barArea = new QWidget(panel);
    BuildInputBar(barArea);
    layout->addWidget(barArea, 0, Qt::AlignHCenter);

    auto* gainRow = new QHBoxLayout;
    checkBox1_ = Named(new QCheckBox("Software Gain", panel), "CheckBox1");
    spinEdit2_ = Named(new QSpinBox(panel), "SpinEdit2");
    spinEdit2_->setRange(-100, 100);
    spinEdit2_->setValue(20);
    spinEdit2_->setFixedWidth(64);
    gainRow->addWidget(checkBox1_);
    gainRow->addStretch(1);
    gainRow->addWidget(spinEdit2_);
    gainRow->addWidget(new QLabel("dB", panel));
    layout->addLayout(gainRow);
    return panel;
}

// Panel4 (white frame, lime bar Shape2, black centre mark ShapeMid) with "-MAX", "0" and
// "+MAX" under its left end, centre and right end.
void TMainView::BuildInputBar(QWidget* area) {
    const int labelHeight = area->fontMetrics().height();
    area->setFixedSize(kInputBarWidth, kInputBarHeight + 1 + labelHeight);
    panel4_ = Named(new QWidget(area), "Panel4");
    panel4_->setGeometry(0, 0, kInputBarWidth, kInputBarHeight);
    auto* shape1 = new TShape("Shape1", Qt::white, panel4_);
    shape1->SetPen(Qt::black);
    shape1->setGeometry(0, 0, kInputBarWidth, kInputBarHeight);
    shape2_ = new TShape("Shape2", kLime, panel4_);
    shape2_->setGeometry(0, 1, 0, kInputBarHeight - 2);
    shapeMid_ = new TShape("ShapeMid", Qt::black, panel4_);
    shapeMid_->setGeometry(panel4_->width() / 2 - 1, 0, 2, kInputBarHeight);

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

QWidget* TMainView::BuildRecordStep() {
    QWidget* panel = BuildStepPanel(dmRecord, "RecBtn", "3", "Record 5 seconds of your voice");
    progressBar1_ = Named(new QProgressBar(panel), "ProgressBar1");
    progressBar1_->setRange(0, 100);
    progressBar1_->setValue(0);
    progressBar1_->setTextVisible(false);
    progressBar1_->setFixedSize(kInputBarWidth, kInputBarHeight);
    static_cast<QVBoxLayout*>(panel->layout())->addWidget(progressBar1_, 0, Qt::AlignHCenter);
    return panel;
}

// ---- right side: the editors' pages and the lower control area ----------------------------

QWidget* TMainView::BuildPages(const TEditorContext& editors) {
    pageControl1_ = Named(new QTabWidget(&window_), "PageControl1");
    // Each editor sits on a panel of its own size in the middle of its page.
    const auto page = [this](const char* name, const char* caption) {
        auto* tab = Named(new QWidget(pageControl1_), name);
        auto* layout = new QVBoxLayout(tab);
        layout->setContentsMargins(4, 4, 4, 4);
        auto* holder = new QWidget(tab);
        holder->setFixedSize(TEditorPaintBox::kWidth, TEditorPaintBox::kHeight);
        layout->addWidget(holder, 0, Qt::AlignCenter);
        pageControl1_->addTab(tab, caption);
        return holder;
    };
    paintBox1_ = new TEqualizerEditor(editors, page("TabSheet1", "Equalizer"));
    paintBox2_ = new TDynamicsEditor(editors, page("TabSheet2", "Clipper"));
    return pageControl1_;
}

QWidget* TMainView::BuildLowerArea() {
    panel11_ = Named(new QWidget(&window_), "Panel11");
    // Hidden in steps 2 and 3 without the pages above moving.
    QSizePolicy policy = panel11_->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    panel11_->setSizePolicy(policy);
    auto* layout = new QHBoxLayout(panel11_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(BuildEqualizerGroups());
    layout->addWidget(BuildOutputPanel());
    layout->addWidget(BuildPlaybackGroup(), 1);
    return panel11_;
}

QWidget* TMainView::BuildEqualizerGroups() {
    auto* column = new QWidget(panel11_);
    column->setFixedWidth(kSwitchColumnWidth);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* equalizer = Named(new QGroupBox(" Equalizer ", column), "GroupBox1");
    auto* equalizerRow = new QHBoxLayout(equalizer);
    equalizerRow->setContentsMargins(9, 2, 9, 4);
    checkBox2_ = Named(new QCheckBox("Enabled", equalizer), "CheckBox2");
    checkBox2_->setChecked(true);
    speedButton2_ = Named(new QPushButton("Reset", equalizer), "SpeedButton2");
    equalizerRow->addWidget(checkBox2_);
    equalizerRow->addStretch(1);
    equalizerRow->addWidget(speedButton2_);
    layout->addWidget(equalizer);

    auto* dynamics = Named(new QGroupBox(" Gate / Compressor / Clipper ", column), "GroupBox2");
    auto* dynamicsColumn = new QVBoxLayout(dynamics);
    dynamicsColumn->setContentsMargins(9, 2, 9, 4);
    dynamicsColumn->setSpacing(2);
    checkBox3_ = Named(new QCheckBox("Enabled", dynamics), "CheckBox3");
    dynamicsColumn->addWidget(checkBox3_);
    // Usable while the clipper works, the only time it acts.
    checkBox5_ = Named(new QCheckBox("Overshoot control", dynamics), "CheckBox5");
    checkBox5_->setChecked(true);
    checkBox5_->setEnabled(false);
    dynamicsColumn->addWidget(checkBox5_);
    layout->addWidget(dynamics);

    auto* output = Named(new QGroupBox(" Output Gain ", column), "GroupBox3");
    auto* outputRow = new QHBoxLayout(output);
    outputRow->setContentsMargins(9, 0, 9, 2);
    volumeSlider3_ = Slider("VolumeSlider3", 1.0f, output);
    // The slider's own dB reading is the output gain: (Value - 1) * 80 dB.
    volumeSlider3_->SetDbScale(80.0f);
    volumeSlider3_->SetDbMax(0.0f);
    outputRow->addWidget(volumeSlider3_, 0, Qt::AlignHCenter);
    layout->addWidget(output);
    layout->addStretch(1);
    return column;
}

QWidget* TMainView::BuildOutputPanel() {
    auto* panel = Named(new QFrame(panel11_), "Panel12");
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
    shape10_ = new TShape("Shape10", Qt::white, panel);
    shape10_->SetPen(Qt::black);
    shape10_->setFixedSize(kOutputBarWidth, kOutputBarHeight);
    shape11_ = new TShape("Shape11", kLime, shape10_);
    shape11_->setGeometry(0, 0, 0, kOutputBarHeight);
    shape12_ = new TShape("Shape12", Qt::red, shape10_);
    shape12_->setGeometry(-2, 0, 2, kOutputBarHeight);
    shape13_ = new TShape("Shape13", Qt::gray, panel);
    shape13_->setFixedSize(6, 7);
    barRow->addWidget(shape10_);
    barRow->addSpacing(4);
    barRow->addWidget(shape13_);
    barRow->addStretch(1);
    layout->addLayout(barRow, 1, 0, 1, 2);

    label19_ = FigureRow(layout, 2, "V r.m.s. =", "Label19", panel);
    label20_ = FigureRow(layout, 3, "V peak =", "Label20", panel);
    label21_ = FigureRow(layout, 4, "Peak Factor =", "Label21", panel);
    layout->setRowStretch(5, 1);
    return panel;
}

QWidget* TMainView::BuildPlaybackGroup() {
    auto* group = Named(new QGroupBox(" Playback ", panel11_), "GroupBox4");
    auto* layout = new QGridLayout(group);
    layout->setVerticalSpacing(4);

    layout->addWidget(new QLabel("Volume", group), 0, 0);
    volumeSlider1_ = Slider("VolumeSlider1", 0.5f, group);
    // The slider's own dB reading is the playback gain: (Value - 0.75) * 80 dB.
    volumeSlider1_->SetDbScale(80.0f);
    volumeSlider1_->SetDbMax(20.0f);
    layout->addWidget(volumeSlider1_, 0, 1);

    checkBox4_ = Named(new QCheckBox("Add Noise", group), "CheckBox4");
    checkBox4_->setEnabled(false);
    layout->addWidget(checkBox4_, 1, 0, 1, 2);
    auto* noiseKinds = new QHBoxLayout;
    radioButton1_ = Named(new QRadioButton("QRN", group), "RadioButton1");
    radioButton1_->setChecked(true);
    radioButton2_ = Named(new QRadioButton("QRM", group), "RadioButton2");
    noiseKinds->addWidget(radioButton1_);
    noiseKinds->addWidget(radioButton2_);
    noiseKinds->addStretch(1);
    layout->addLayout(noiseKinds, 2, 0, 1, 2);
    volumeSlider2_ = Slider("VolumeSlider2", 0.5f, group);
    volumeSlider2_->SetShowHint(false);
    layout->addWidget(volumeSlider2_, 3, 1);
    for (QWidget* control :
         std::initializer_list<QWidget*>{radioButton1_, radioButton2_, volumeSlider2_})
        control->setEnabled(false);

    layout->addWidget(new QLabel("P.e.p. SNR =", group), 4, 0);
    label8_ = Named(new QLabel(group), "Label8");
    label8_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(label8_, 4, 1);
    layout->setRowStretch(5, 1);
    return group;
}

void TMainView::BuildStatusBar() {
    statusBar1_ = Named(new QStatusBar(&window_), "StatusBar1");
    statusBar1_->setSizeGripEnabled(false);
    statusLabel_ = Named(new QLabel("  Default profile", statusBar1_), "StatusLabel");
    statusBar1_->addWidget(statusLabel_, 1);
    window_.setStatusBar(statusBar1_);
}

} // namespace sonari
