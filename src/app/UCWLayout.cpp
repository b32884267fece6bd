// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layout: the tool bar, the chart, the four control boxes,
// the status bar and the menus, with their names and keyboard.
#include "app/UCW.h"

#include "device/SerialDevices.h"
#include "dialogs/AudioDlgB.h"
#include "dialogs/DlgBox1.h"
#include "dialogs/Logo.h"
#include "dialogs/UService.h"
#include "dialogs/UsersAssist.h"
#include "params/NumFormat.h"
#include "params/UTextTbl.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "platform/Seams.h"
#include "processing/UDataProc.h"
#include "setup/DirDlgB.h"
#include "setup/UserFolders.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace tavi {

namespace {

const char* const kPanelLabels[5] = {
    "Acc: ", "Last Data Saved In: ", "Spectrometer: ", "Magnetic Field Source: ", "DB: "};
const int kPanelWidths[5] = {85, 180, 250, 195, 100};

QFont PointFont(const QFont& base, double points) {
    QFont f = base;
    f.setPointSizeF(points);
    return f;
}

TUpDown* MakeUpDown(QWidget* parent, const char* name, int min, int max) {
    auto* u = Named(new TUpDown(parent), name);
    u->SetRange(min, max);
    u->SetPosition(min);
    return u;
}

TValueText* MakeValue(QWidget* parent, const char* name) {
    auto* v = Named(new TValueText(parent), name);
    v->setMinimumWidth(56);
    return v;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
    return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

} // namespace

void TFCW::BuildToolBar() {
    ToolBar = Named(new QToolBar(QStringLiteral("ToolBar"), this), "ToolBar");
    ToolBar->setMovable(false);
    ToolBar->setFont(PointFont(font(), 8));
    ToolBar->installEventFilter(this);
    addToolBar(Qt::TopToolBarArea, ToolBar);

    auto tool = [this](const char* name, const char* caption, const char* hint) {
        auto* b = Named(new QToolButton(ToolBar), name);
        b->setText(QString::fromUtf8(caption));
        if (hint)
            b->setToolTip(QString::fromUtf8(hint));
        b->setAutoRaise(true);
        return b;
    };
    auto gap = [this](const char* name, int width, bool line) {
        auto* f = Named(new QFrame(ToolBar), name);
        f->setFixedWidth(width);
        if (line)
            f->setFrameStyle(QFrame::VLine | QFrame::Sunken);
        return f;
    };

    VertMTB = tool("VertMTB", "V", "Vertical marker");
    VertMTB->setCheckable(true);
    VertMTB->setChecked(true);
    VertMTB->setEnabled(false);
    HorizMTB = tool("HorizMTB", "H", "Horizontal marker");
    HorizMTB->setCheckable(true);
    HorizMTB->setEnabled(false);
    auto* markers = new QButtonGroup(this);
    markers->setExclusive(true);
    markers->addButton(VertMTB);
    markers->addButton(HorizMTB);
    SweepDLabel = Named(new QLabel(QStringLiteral("Pass Display: "), ToolBar), "SweepDLabel");
    CurrDiagramCBox = Named(new QComboBox(ToolBar), "CurrDiagramCBox");
    CurrDiagramCBox->addItems({"1", "2", "3", "4", "5", "off"});
    AccDToolB = tool("AccDToolB", "Acc", nullptr);
    AccDToolB->setCheckable(true);
    DHToolB = tool("DHToolB", "DB", nullptr);
    DHToolB->setEnabled(false);
    DProcTB = tool("DProcTB", "Proc", "Data processing");

    ToolBar->addWidget(VertMTB);
    ToolBar->addWidget(HorizMTB);
    ToolBar->addWidget(gap("S12ToolB", 20, false));
    ToolBar->addWidget(SweepDLabel);
    ToolBar->addWidget(CurrDiagramCBox);
    ToolBar->addWidget(AccDToolB);
    ToolBar->addWidget(gap("S13ToolB", 10, true));
    ToolBar->addWidget(DHToolB);
    ToolBar->addWidget(gap("S14ToolB", 10, true));
    ToolBar->addWidget(DProcTB);

    connect(VertMTB, &QToolButton::clicked, this, &TFCW::VertMTBClick);
    connect(HorizMTB, &QToolButton::clicked, this, &TFCW::HorizMTBClick);
    connect(CurrDiagramCBox, &QComboBox::activated, this, &TFCW::CurrDiagramCBoxChange);
    // The check mark of "Accumulation Pass" is the state; the handler toggles it,
    // so undo the button's own toggle first.
    connect(AccDToolB, &QToolButton::clicked, this, [this] {
        AccDToolB->setChecked(!AccDToolB->isChecked());
        AccDToolBClick();
    });
    connect(DHToolB, &QToolButton::clicked, this, &TFCW::DHToolBClick);
    connect(DProcTB, &QToolButton::clicked, this, &TFCW::MDataprocessingClick);
}

void TFCW::BuildChartArea(QWidget* central) {
    auto* root = new QVBoxLayout(central);
    root->setContentsMargins(4, 2, 4, 2);
    auto* top = new QHBoxLayout;
    root->addLayout(top, 1);

    Level = Named(new TGroupBox(QStringLiteral("DC offset"), central), "Level");
    Level->setToolTip(QStringLiteral("DC offset"));
    Level->installEventFilter(this);
    auto* levelLayout = new QVBoxLayout(Level);
    LevelTB = Named(new QSlider(Qt::Vertical, Level), "LevelTB");
    LevelTB->setRange(-500, 500);
    LevelTB->setPageStep(10);
    LevelTB->setSingleStep(1);
    LevelTB->setTickPosition(QSlider::NoTicks);
    LevelTB->setInvertedAppearance(true); // minimum at the top
    LevelTB->setCursor(Qt::PointingHandCursor);
    levelLayout->addWidget(LevelTB, 1, Qt::AlignHCenter);
    connect(LevelTB, &QSlider::valueChanged, this, [this](int v) {
        Params.DCOffset = v;
        link_->SetDCOffset(v);
    });
    top->addWidget(Level, 0);

    Fid = Named(new TChart(central), "Fid");
    Fid->setAccessibleName(QStringLiteral("Passes"));
    Fid->setCursor(Qt::PointingHandCursor);
    Fid->BottomAxis().SetValueFormat("# ##0.### [Gs]");
    Fid->RightAxis().SetMinMax(-500, 500);
    Fid->RightAxis().SetIncrement(250);
    for (auto& s : PassSeries)
        s = &Fid->AddSeries();
    SeriesAcc = &Fid->AddSeries();
    Fid->OnClick = [this] { FidClick(); };
    top->addWidget(Fid, 1);

    OutOfRangeLab = Named(new QLabel(QStringLiteral(" out of range: "), Fid), "OutOfRangeLab");
    OutOfRangeLab->setStyleSheet(QStringLiteral("color: red; background-color: yellow;"));
    OutOfRangeLab->setFont(PointFont(font(), 7));
    OutOfRangeLab->setFixedHeight(14);
    OutOfRangeLab->move(60, 4 * 14);
    OutOfRangeLab->hide();
    XYST = Named(new QLabel(Fid), "XYST");
    XYST->move(60, 4);
    XYST->hide();
    DBST = Named(new QLabel(Fid), "DBST");
    DBST->move(60, 24);
    DBST->hide();
}

void TFCW::BuildResonanceBox() {
    ResonanceBox = Named(new TGroupBox(QStringLiteral("Mode"), centralWidget()), "ResonanceBox");
    ResonanceBox->setToolTip(QStringLiteral("Mode"));
    ResonanceBox->installEventFilter(this);
    auto* l = new QVBoxLayout(ResonanceBox);
    const char* names[4] = {"HydrogenRB", "FluorineRB", "HFRB", "EPRResRB"};
    for (int m = 0; m < kModeCount; ++m) {
        // The stored caption doubles "&" so it shows as one.
        QString caption = Q(ModeCaption(static_cast<TResonanceMode>(m)));
        ModeRB[m] = Named(new QRadioButton(caption, ResonanceBox), names[m]);
        l->addWidget(ModeRB[m]);
    }
    HydrogenRB = ModeRB[0];
    FluorineRB = ModeRB[1];
    HFRB = ModeRB[2];
    EPRResRB = ModeRB[3];
    HydrogenRB->setChecked(true);
    for (int m = 0; m < kModeCount; ++m) {
        connect(ModeRB[m], &QRadioButton::toggled, this, [this, m](bool on) {
            if (on)
                ModeRBClick(static_cast<TResonanceMode>(m));
        });
    }
}

void TFCW::BuildReceiverBox() {
    ReceiverBox = Named(new TGroupBox(QStringLiteral("Detection"), centralWidget()), "ReceiverBox");
    ReceiverBox->setToolTip(QStringLiteral("Detection"));
    ReceiverBox->installEventFilter(this);
    auto* box = ReceiverBox;
    auto* g = new QGridLayout(box);

    Gain = MakeLabel(box, "Gain", "Gain");
    GainScrollBar = Named(new QScrollBar(Qt::Horizontal, box), "GainScrollBar");
    GainScrollBar->setRange(0, 255);
    GainScrollBar->setPageStep(10);
    GainVal = MakeValue(box, "GainVal");
    Phase = MakeLabel(box, "Phase", "Phase");
    PhaseScrollBar = Named(new QScrollBar(Qt::Horizontal, box), "PhaseScrollBar");
    PhaseScrollBar->setRange(0, 239);
    PhaseScrollBar->setPageStep(10);
    PhaseVal = MakeValue(box, "PhaseVal");
    TuningB0Lab = MakeLabel(box, "TuningB0Lab", "B0");
    TuningB0Val = MakeValue(box, "TuningB0Val");
    TuningB0UpDown = MakeUpDown(box, "TuningB0UpDown", -2000, 2000);
    TuningB0UpDown->SetPosition(0);
    B0ByLab = MakeLabel(box, "B0ByLab", "by");
    DB0Val = MakeValue(box, "DB0Val");
    DB0UpDown = MakeUpDown(box, "DB0UpDown", 0, 3);
    FreqLab = MakeLabel(box, "FreqLab", "F");
    FrequencyVal = MakeValue(box, "FrequencyVal");
    FrequencyUpDown = MakeUpDown(box, "FrequencyUpDown", -2000, 2000);
    FrequencyUpDown->SetPosition(0);
    FByLab = MakeLabel(box, "FByLab", "by");
    DFrqVal = MakeValue(box, "DFrqVal");
    DFrqUpDown = MakeUpDown(box, "DFrqUpDown", 0, 3);

    g->addWidget(Gain, 0, 0);
    g->addWidget(GainScrollBar, 0, 1, 1, 4);
    g->addWidget(GainVal, 0, 5, 1, 2);
    g->addWidget(Phase, 1, 0);
    g->addWidget(PhaseScrollBar, 1, 1, 1, 4);
    g->addWidget(PhaseVal, 1, 5, 1, 2);
    g->addWidget(TuningB0Lab, 2, 0);
    g->addWidget(TuningB0Val, 2, 1, 1, 2);
    g->addWidget(TuningB0UpDown, 2, 3);
    g->addWidget(B0ByLab, 2, 4, Qt::AlignRight);
    g->addWidget(DB0Val, 2, 5);
    g->addWidget(DB0UpDown, 2, 6);
    g->addWidget(FreqLab, 3, 0);
    g->addWidget(FrequencyVal, 3, 1, 1, 2);
    g->addWidget(FrequencyUpDown, 3, 3);
    g->addWidget(FByLab, 3, 4, Qt::AlignRight);
    g->addWidget(DFrqVal, 3, 5);
    g->addWidget(DFrqUpDown, 3, 6);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(5, 1);

    connect(GainScrollBar, &QScrollBar::valueChanged, this, &TFCW::GainScrollBarChange);
    connect(PhaseScrollBar, &QScrollBar::valueChanged, this, &TFCW::PhaseScrollBarChange);
    TuningB0UpDown->OnClick = [this] { TuningB0UpDownClick(); };
    DB0UpDown->OnClick = [this] { DB0UpDownClick(); };
    FrequencyUpDown->OnClick = [this] { FrequencyUpDownClick(); };
    DFrqUpDown->OnClick = [this] { DFrqUpDownClick(); };
}

void TFCW::BuildModulatorBox() {
    FModulatorBox =
        Named(new TGroupBox(QStringLiteral("Modulation"), centralWidget()), "FModulatorBox");
    FModulatorBox->setToolTip(QStringLiteral("Modulation"));
    FModulatorBox->installEventFilter(this);
    auto* box = FModulatorBox;
    auto* g = new QGridLayout(box);

    ModAmp = MakeLabel(box, "ModAmp", "2nd Mod Amplit");
    ModAmpVal = MakeValue(box, "ModAmpVal");
    ModAmpUpDown = MakeUpDown(box, "ModAmpUpDown", 1, 11);
    FieldSwRngRB = Named(new QRadioButton(QStringLiteral("Field Sweep"), box), "FieldSwRngRB");
    FieldSwRngVal = MakeValue(box, "FieldSwRngVal");
    FieldSwRngUpDown = MakeUpDown(box, "FieldSwRngUpDown", 1, 10);
    FreqSwRngRB = Named(new QRadioButton(QStringLiteral("Frequency Sweep"), box), "FreqSwRngRB");
    FreqSwRngVal = MakeValue(box, "FreqSwRngVal");
    FreqSwRngUpDown = MakeUpDown(box, "FreqSwRngUpDown", 1, 9);
    SweepTLab = MakeLabel(box, "SweepTLab", "Sweep Time");
    SweepTVal = MakeValue(box, "SweepTVal");
    SweepTUpDown = MakeUpDown(box, "SweepTUpDown", 1, 7);

    QWidget* rows[4][3] = {{ModAmp, ModAmpVal, ModAmpUpDown},
                           {FieldSwRngRB, FieldSwRngVal, FieldSwRngUpDown},
                           {FreqSwRngRB, FreqSwRngVal, FreqSwRngUpDown},
                           {SweepTLab, SweepTVal, SweepTUpDown}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            g->addWidget(rows[r][c], r, c);
    g->setColumnStretch(1, 1);

    ModAmpUpDown->OnClick = [this] { ModAmpUpDownClick(); };
    FieldSwRngUpDown->OnClick = [this] { FieldSwRngUpDownClick(); };
    FreqSwRngUpDown->OnClick = [this] { FreqSwRngUpDownClick(); };
    SweepTUpDown->OnClick = [this] { SweepTUpDownClick(); };
    connect(FieldSwRngRB, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            FieldSwRngRBClick();
    });
    connect(FreqSwRngRB, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            FreqSwRngRBClick();
    });
}

void TFCW::BuildAcquisitionBox() {
    AcquisitionBox =
        Named(new TGroupBox(QStringLiteral("Acquisition"), centralWidget()), "AcquisitionBox");
    AcquisitionBox->setToolTip(QStringLiteral("Acquisition"));
    AcquisitionBox->installEventFilter(this);
    auto* box = AcquisitionBox;
    auto* g = new QGridLayout(box);

    auto speed = [box](const char* name, const char* caption) {
        auto* b = Named(new QToolButton(box), name);
        b->setText(QString::fromUtf8(caption));
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        return b;
    };
    StartToolB = speed("StartToolB", "Start");
    HoldToolB = speed("HoldToolB", "Hold");
    HoldToolB->setCheckable(true);
    AbortToolB = speed("AbortToolB", "Abort");
    AccLab = MakeLabel(box, "AccLab", "Acc");
    AccVal = MakeValue(box, "AccVal");
    AccVal->setMinimumWidth(30);
    AccUpDown = MakeUpDown(box, "AccUpDown", 1, 99);
    LoopRB = Named(new QRadioButton(QStringLiteral("Loop"), box), "LoopRB");
    SingleRB = Named(new QRadioButton(QStringLiteral("Single"), box), "SingleRB");
    SingleRB->setChecked(true);
    FNameLab = MakeLabel(box, "FNameLab", "Store in file");
    FNameEdit = Named(new QLineEdit(box), "FNameEdit");
    FNameEdit->setToolTip(QStringLiteral("File name"));
    CommentLab = MakeLabel(box, "CommentLab", "Comment");
    CommentEdit = Named(new QLineEdit(box), "CommentEdit");
    CommentEdit->setToolTip(QStringLiteral("Comment"));
    CommentEdit->installEventFilter(this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StartToolB);
    buttons->addWidget(HoldToolB);
    buttons->addWidget(AbortToolB);
    g->addLayout(buttons, 0, 0, 1, 5);
    g->addWidget(AccLab, 1, 0);
    g->addWidget(AccVal, 1, 1);
    g->addWidget(AccUpDown, 1, 2);
    g->addWidget(LoopRB, 1, 3);
    g->addWidget(SingleRB, 1, 4);
    g->addWidget(FNameLab, 2, 0, 1, 2);
    g->addWidget(FNameEdit, 2, 2, 1, 3);
    g->addWidget(CommentLab, 3, 0, 1, 2);
    g->addWidget(CommentEdit, 3, 2, 1, 3);

    connect(StartToolB, &QToolButton::clicked, this, &TFCW::StartToolBClick);
    // Hold keeps its state until the device confirms with "H".
    connect(HoldToolB, &QToolButton::clicked, this, [this] {
        HoldToolB->setChecked(HoldActive());
        HoldToolBClick();
    });
    connect(AbortToolB, &QToolButton::clicked, this, &TFCW::AbortToolBClick);
    AccUpDown->OnClick = [this] { AccUpDownClick(); };
    for (QRadioButton* rb : {LoopRB, SingleRB})
        connect(rb, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                SingleRBClick();
        });
}

void TFCW::BuildStatusBar() {
    StatusBar = Named(new QStatusBar(this), "StatusBar");
    StatusBar->setFont(PointFont(font(), 8));
    StatusBar->setFixedHeight(19 + 4);
    StatusBar->setSizeGripEnabled(false);
    setStatusBar(StatusBar);
    for (int i = 0; i < 5; ++i) {
        auto* p = new QLabel(QString::fromLatin1(kPanelLabels[i]), StatusBar);
        p->setObjectName(QStringLiteral("Panel%1").arg(i));
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The last panel takes what is left: the five widths add up to more
        // than an 800-pixel screen.
        if (i < 4)
            p->setMinimumWidth(kPanelWidths[i]);
        Panels[i] = p;
        StatusBar->addWidget(p, i == 4 ? 1 : 0);
    }
}

void TFCW::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, const char* name, const char* caption) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("MFile"));
    MSaveas = item(file, "MSaveas", "Save data as ...");
    file->addSeparator();
    MOpensetup = item(file, "MOpensetup", "Open setup");
    MSavesetup = item(file, "MSavesetup", "Save setup");
    MSavesetup->setEnabled(false);
    MSavesetupas = item(file, "MSavesetupas", "Save setup as...");
    file->addSeparator();
    MAbout = item(file, "MAbout", "About");
    file->addSeparator();
    MExit = item(file, "MExit", "Exit");

    QMenu* spc = bar->addMenu(QStringLiteral("&Spectrometer"));
    spc->setObjectName(QStringLiteral("MSpectrometer"));
    MSpcCOM = spc->addMenu(QStringLiteral("Comunication Port"));
    MSpcCOM->setObjectName(QStringLiteral("MSpcCOM"));
    PortGroup = new QActionGroup(this);
    PortGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int i = 0; i < 4; ++i) {
        const QByteArray name = "MSpcCOM" + QByteArray::number(i + 1);
        QAction* a = item(MSpcCOM, name.constData(), ("COM" + std::to_string(i + 1)).c_str());
        a->setCheckable(true);
        PortGroup->addAction(a);
        MSpcCOMItems[i] = a;
        connect(a, &QAction::triggered, this, [this, i] { MSpcCOMClick(i); });
    }
    MSpcCOM->addSeparator();
    MSpcOther = item(MSpcCOM, "MSpcOther", "Other...");
    connect(MSpcOther, &QAction::triggered, this, &TFCW::MSpcOtherClick);
    connect(MSpcCOM, &QMenu::aboutToShow, this, &TFCW::RefreshPortMenu);
    ListPorts = [] { return ListSerialDevices(); };
    MLink = item(spc, "MLink", "Connect");

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("MTools"));
    MAccDiagram = item(tools, "MAccDiagram", "Accumulation Pass");
    MAccDiagram->setCheckable(true);
    MUnits = tools->addMenu(QStringLiteral("Units"));
    MUnits->setObjectName(QStringLiteral("MUnits"));
    auto* units = new QActionGroup(this);
    MmT = item(MUnits, "MmT", "mT");
    MGs = item(MUnits, "MGs", "Gs");
    for (QAction* a : {MmT, MGs}) {
        a->setCheckable(true);
        units->addAction(a);
    }
    MGs->setChecked(true);
    // Disabling the menu itself (not just its item) keeps it disabled when the
    // window is re-enabled after the connection check.
    MUnits->setEnabled(false);
    MFileLocation = item(tools, "MFileLocation", "File Location");
    Audio1 = item(tools, "Audio1", "Audio");
    tools->addSeparator();
    MCurrentdirection = tools->addMenu(QStringLiteral("Current direction"));
    MCurrentdirection->setObjectName(QStringLiteral("MCurrentdirection"));
    auto* dirs = new QActionGroup(this);
    MCDirFWD = item(MCurrentdirection, "MCDirFWD", "FWD");
    MCDirREV = item(MCurrentdirection, "MCDirREV", "REV");
    for (QAction* a : {MCDirFWD, MCDirREV}) {
        a->setCheckable(true);
        dirs->addAction(a);
    }
    MCDirFWD->setChecked(true);
    MCurrentdirection->setEnabled(false);
    tools->addSeparator();
    MDataprocessing = item(tools, "MDataprocessing", "Data Processing");
    MCompareFiles = item(tools, "MCompareFiles", "Compare files...");
    tools->addSeparator();
    MService = item(tools, "MService", "Service");
    MService->setEnabled(false);

    // The menu item stays disabled; technicians open the window with this key.
    ServiceShortcut = new QAction(this);
    ServiceShortcut->setObjectName(QStringLiteral("ServiceShortcut"));
    ServiceShortcut->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    ServiceShortcut->setShortcutContext(Qt::WindowShortcut);
    addAction(ServiceShortcut);

    connect(MSaveas, &QAction::triggered, this, &TFCW::MSaveasClick);
    connect(MOpensetup, &QAction::triggered, this, &TFCW::MOpensetupClick);
    connect(MSavesetup, &QAction::triggered, this, &TFCW::MSavesetupClick);
    connect(MSavesetupas, &QAction::triggered, this, &TFCW::MSavesetupasClick);
    connect(MAbout, &QAction::triggered, this, &TFCW::MAboutClick);
    connect(MExit, &QAction::triggered, this, &TFCW::MExitClick);
    connect(MLink, &QAction::triggered, this, &TFCW::MLinkClick);
    connect(MAccDiagram, &QAction::triggered, this, &TFCW::MAccDiagramClick);
    connect(MmT, &QAction::triggered, this, &TFCW::MmTClick);
    connect(MGs, &QAction::triggered, this, &TFCW::MGsClick);
    connect(MFileLocation, &QAction::triggered, this, &TFCW::MFileLocationClick);
    connect(Audio1, &QAction::triggered, this, &TFCW::Audio1Click);
    connect(MCDirFWD, &QAction::triggered, this, &TFCW::MCDirFWDClick);
    connect(MCDirREV, &QAction::triggered, this, &TFCW::MCDirREVClick);
    connect(MDataprocessing, &QAction::triggered, this, &TFCW::MDataprocessingClick);
    connect(MService, &QAction::triggered, this, &TFCW::MServiceClick);
    connect(ServiceShortcut, &QAction::triggered, this, &TFCW::MServiceClick);
}

// Names for assistive technology, where a control's caption is a letter, a
// neighbouring label or nothing; and every check button acts through its
// click handler however it is activated.
void TFCW::NameControls() {
    const std::pair<QWidget*, const char*> names[] = {
        {LevelTB, "DC offset"},
        {Fid, "Spectrum"},
        {GainScrollBar, "Gain"},
        {PhaseScrollBar, "Phase"},
        {CurrDiagramCBox, "Pass Display"},
        {VertMTB, "Vertical marker"},
        {HorizMTB, "Horizontal marker"},
        {AccDToolB, "Accumulation Pass"},
        {DHToolB, "DB line width"},
        {DProcTB, "Data processing"},
        {FNameEdit, "Store in file"},
        {CommentEdit, "Comment"},
    };
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(QString::fromUtf8(name));
    const std::pair<TUpDown*, const char*> upDowns[] = {
        {TuningB0UpDown, "B0"},
        {DB0UpDown, "B0 step"},
        {FrequencyUpDown, "F"},
        {DFrqUpDown, "F step"},
        {ModAmpUpDown, "2nd Mod Amplit"},
        {FieldSwRngUpDown, "Field Sweep range"},
        {FreqSwRngUpDown, "Frequency Sweep range"},
        {SweepTUpDown, "Sweep Time"},
        {AccUpDown, "Acc"},
    };
    for (const auto& [upDown, name] : upDowns)
        upDown->SetAccessibleNames(QString::fromUtf8(name));
    for (QToolButton* b : {VertMTB, HorizMTB, AccDToolB, HoldToolB})
        ActivateLikeClick(b);
    SetUpKeyboard();
}

void TFCW::SetUpKeyboard() {
    // Gain and Phase step with the arrows and PgUp/PgDn once they have the
    // focus, which Tab and a click give them; every stepping control shows it.
    for (QScrollBar* bar : {GainScrollBar, PhaseScrollBar}) {
        bar->setFocusPolicy(Qt::StrongFocus);
        // Up and PgUp raise the value, as on a slider (a scroll bar's keys
        // are inverted for scrolling text).
        bar->setInvertedControls(false);
        ShowFocusRing(bar);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{LevelTB, StartToolB, HoldToolB, AbortToolB})
        ShowFocusRing(w);
    const std::pair<TValueText*, QWidget*> buddies[] = {
        {GainVal, GainScrollBar},       {PhaseVal, PhaseScrollBar},
        {TuningB0Val, TuningB0UpDown},  {DB0Val, DB0UpDown},
        {FrequencyVal, FrequencyUpDown}, {DFrqVal, DFrqUpDown},
        {ModAmpVal, ModAmpUpDown},      {FieldSwRngVal, FieldSwRngUpDown},
        {FreqSwRngVal, FreqSwRngUpDown}, {SweepTVal, SweepTUpDown},
        {AccVal, AccUpDown},
    };
    for (const auto& [value, control] : buddies)
        value->setBuddy(control);
    // Typing the gain beats a dozen page clicks; the change handler runs as
    // for any other change of the bar.
    GainVal->OnDoubleClick = [this] {
        if (!GainScrollBar->isEnabled())
            return;
        if (const std::optional<int> gain =
                AskNumber(this, QStringLiteral("Gain"), QStringLiteral("Gain"),
                          GainScrollBar->value(), GainScrollBar->minimum(),
                          GainScrollBar->maximum()))
            GainScrollBar->setValue(*gain);
    };
    Fid->OnStepKey = [this](int points) { MainMarker.Step(points); };
    MOpensetup->setShortcut(QKeySequence::Open);
    MSaveas->setShortcut(QKeySequence::Save);
    MExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

} // namespace tavi
