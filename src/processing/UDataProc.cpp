// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window: its controls, menus and layout. Loading, the views
// and the measurements live in UDataProcLoad, UDataProcViews and UDataProcMeasure.
#include "processing/UDataProc.h"

#include "analysiswin/UAnalysis.h"

#include "common/Usr.h"
#include "params/Freq.h"
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "platform/Controls.h"
#include "platform/Seams.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

namespace tavi {

namespace {

const QColor kFormColour{0xE3, 0xE3, 0xE3};   // light 3D grey
const QColor kPlotColour{0x6E, 0x92, 0x92};   // plot background
const QColor kGridColour{0x80, 0xFF, 0x80};
const QColor kNameColour{0x80, 0x00, 0x00};   // maroon name labels
const QColor kCaptionColour{0x00, 0x80, 0x80}; // teal group captions
const QColor kReadoutColour{0xC0, 0xC0, 0xC0}; // silver readouts

// Design geometry (96 dpi, 802 x 571).
constexpr int kRowHeight = 26;     // both button rows
constexpr int kButtonHeight = 22;
constexpr int kSmallButton = 23;   // the base-line buttons' smallest size
constexpr QRect kDSrcDesign{8, 32, 621, 218};
constexpr QRect kGroupBox1Design{637, 32, 153, 265};
constexpr QRect kGroupBox2Design{637, 304, 153, 201};
constexpr int kDesignWidth = 802;
constexpr int kDesignHeight = 571;

void SetColour(QWidget* w, QColor colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    w->setPalette(p);
}

} // namespace

// ---------------------------------------------------------------- creation

TFDataProc::TFDataProc(QWidget* parent, int screenWidth, int screenHeight) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FDataProc"));
    setWindowTitle(QStringLiteral("Data processing"));
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screenWidth <= 0)
        screenWidth = screen ? screen->geometry().width() : 800;
    if (screenHeight <= 0)
        screenHeight = screen ? screen->geometry().height() : 600;
    // The display scale of the chart markers, as the acquisition window keeps it.
    displayScale_ = DisplayScaleFor(screenWidth);
    layoutScale_ = LayoutScaleFor(screenWidth, screenHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kFormColour);
    setPalette(pal);
    setAutoFillBackground(true);
    setAcceptDrops(true);
    QFont f = font();
    f.setPointSizeF(8 * layoutScale_);
    setFont(f);
    resize(static_cast<int>(kDesignWidth * layoutScale_),
           static_cast<int>(kDesignHeight * layoutScale_));

    auto* central = Named(new QWidget(this), "Central");
    setCentralWidget(central);
    BuildControls(central);
    BuildMenus();
    ConnectHandlers();
    FormCreate();
}

TFDataProc::~TFDataProc() {
    // The markers' hooks refer to the charts, which go first with the widgets.
    ResultMarker.OnMove = nullptr;
    Zoom.ZoomOff();
    SourceMarker.Detach();
    ResultMarker.Detach();
    if (DSrc)
        DSrc->OnAfterDraw = nullptr;
    if (DDst) {
        DDst->OnAfterDraw = nullptr;
        DDst->OnZoom = nullptr;
        DDst->OnUndoZoom = nullptr;
    }
}

QToolButton* TFDataProc::MakeButton(QWidget* parent, const char* name, const char* caption,
                                    const char* hint, bool checkable) {
    auto* b = Named(new QToolButton(parent), name);
    b->setText(QString::fromUtf8(caption));
    if (hint)
        b->setToolTip(QString::fromUtf8(hint));
    b->setCheckable(checkable);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

void TFDataProc::BuildControls(QWidget* central) {
    auto frame = [](QWidget* parent, const char* name) { return Named(new QFrame(parent), name); };
    auto separator = [&](QWidget* parent, const char* name, bool line) {
        QFrame* s = frame(parent, name);
        if (line)
            s->setFrameStyle(QFrame::VLine | QFrame::Sunken);
        return s;
    };

    // Top row.
    DIFileToolBar = frame(central, "DIFileToolBar");
    FOpenTB = MakeButton(DIFileToolBar, "FOpenTB", "Open File", "Load data", false);
    ExportATB = MakeButton(DIFileToolBar, "ExportATB", "Export ASCII", "Export ASCII", false);
    S11TB = separator(DIFileToolBar, "S11TB", true);
    FDerivativeTB =
        MakeButton(DIFileToolBar, "FDerivativeTB", "1st Derivative", "1st Derivative", true);
    AbsorptionTB = MakeButton(DIFileToolBar, "AbsorptionTB", "Absorption", "Absorption", true);
    AnalysisTB = MakeButton(DIFileToolBar, "AnalysisTB", "Analysis", "Fit and quantify", false);
    S12TB = separator(DIFileToolBar, "S12TB", true);
    S13TB = separator(DIFileToolBar, "S13TB", false);
    // "Setup && Acq": the doubled ampersand shows as one.
    SetupTB = MakeButton(DIFileToolBar, "SetupTB", "Setup && Acq", "Setup & Acquisition", false);
    L0ToolBar = frame(central, "L0ToolBar");
    const std::pair<QToolButton**, std::pair<const char*, Qt::ArrowType>> baseButtons[] = {
        {&Line0DnTB, {"Line0DnTB", Qt::DownArrow}},
        {&Line0UpTB, {"Line0UpTB", Qt::UpArrow}},
        {&Line0LeftTB, {"Line0LeftTB", Qt::LeftArrow}},
        {&Line0RightTB, {"Line0RightTB", Qt::RightArrow}}};
    for (const auto& [member, spec] : baseButtons) {
        *member = MakeButton(L0ToolBar, spec.first, "", "Base line", false);
        (*member)->setArrowType(spec.second);
        (*member)->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    // Arrows without a caption, named for assistive technology.
    Line0DnTB->setAccessibleName(QStringLiteral("Base line down"));
    Line0UpTB->setAccessibleName(QStringLiteral("Base line up"));
    Line0LeftTB->setAccessibleName(QStringLiteral("Base line slope down"));
    Line0RightTB->setAccessibleName(QStringLiteral("Base line slope up"));

    // Row between the charts.
    DOFileToolBar = frame(central, "DOFileToolBar");
    DOSaveTB = MakeButton(DOFileToolBar, "DOSaveTB", "Export ASCII", nullptr, false);
    S21TB = separator(DOFileToolBar, "S21TB", true);
    SZOOMTB = separator(DOFileToolBar, "SZOOMTB", false);
    S22TB = separator(DOFileToolBar, "S22TB", true);
    SAbsorptionTB = separator(DOFileToolBar, "SAbsorptionTB", false);
    S23TB = separator(DOFileToolBar, "S23TB", true);
    SCursorsTB = separator(DOFileToolBar, "SCursorsTB", false);
    ZoomToolBar = frame(central, "ZoomToolBar");
    ZoomTB = MakeButton(ZoomToolBar, "ZoomTB", "HZ", "Horizontal Zoom", true);
    UnZoomTB = MakeButton(ZoomToolBar, "UnZoomTB", "UZ", "UnZoom: back to the whole sweep", false);
    VerticalExpTB = MakeButton(ZoomToolBar, "VerticalExpTB", "VE", "Vertical expansion: fit the curve", false);
    FDerivativeToolBar = frame(central, "FDerivativeToolBar");
    M2DerivativeTB = MakeButton(FDerivativeToolBar, "M2DerivativeTB", "M2", kMomentHint, true);
    SDBTB = MakeButton(FDerivativeToolBar, "SDBTB", "SDB", "Peak-to-peak line width", true);
    AbsorptionToolBar = frame(central, "AbsorptionToolBar");
    M2AbsorptionTB = MakeButton(AbsorptionToolBar, "M2AbsorptionTB", "M2", kMomentHint, true);
    HDBTB = MakeButton(AbsorptionToolBar, "HDBTB", "HDB", "Line width at half height", true);
    IntegralTB = MakeButton(AbsorptionToolBar, "IntegralTB", "Integral", "Area between the cursors", true);
    CursorsToolBar = frame(central, "CursorsToolBar");
    M2LCTB = MakeButton(CursorsToolBar, "M2LCTB", "LC", "Move the left cursor (drag, then release)", true);
    M2MCTB = MakeButton(CursorsToolBar, "M2MCTB", "MC", "Move the centre cursor (drag, then release)", true);
    M2RCTB = MakeButton(CursorsToolBar, "M2RCTB", "RC", "Move the right cursor (drag, then release)", true);
    IntegralToolBar = frame(central, "IntegralToolBar");
    MakeButton(IntegralToolBar, "ILCTB", "LC", nullptr, true);
    MakeButton(IntegralToolBar, "IRCTB", "RC", nullptr, true);
    IntegralToolBar->hide();
    for (QToolButton* b : {ExportATB, FDerivativeTB, AbsorptionTB, Line0DnTB, Line0UpTB,
                           Line0LeftTB, Line0RightTB, DOSaveTB, ZoomTB, UnZoomTB, VerticalExpTB})
        b->setEnabled(false);
    QFont toolFont = font();
    toolFont.setPointSizeF(8 * layoutScale_);
    for (QFrame* bar : {DIFileToolBar, L0ToolBar, DOFileToolBar, ZoomToolBar, FDerivativeToolBar,
                        AbsorptionToolBar, CursorsToolBar, IntegralToolBar})
        bar->setFont(toolFont);

    // Charts.
    auto makeChart = [&](const char* name) {
        auto* c = Named(new TChart(central), name);
        c->setCursor(Qt::PointingHandCursor);
        QCustomPlot* plot = c->Plot();
        c->SetBackground(kFormColour, kPlotColour);
        c->SetForeground(Qt::black);
        for (QCPAxis* axis : {plot->xAxis, plot->yAxis2}) {
            axis->grid()->setPen(QPen(kGridColour, 0, Qt::DotLine));
            axis->grid()->setZeroLinePen(QPen(kGridColour, 0, Qt::DotLine));
        }
        c->BottomAxis().SetMinMax(0, 100);
        c->BottomAxis().SetIncrement(25);
        c->BottomAxis().SetValueFormat("# ##0.### [Gs]");
        c->RightAxis().SetMinMax(-500, 500);
        c->RightAxis().SetIncrement(250);
        return c;
    };
    DSrc = makeChart("DSrc");
    DSrc->setAccessibleName(QStringLiteral("Source spectrum"));
    Series1 = &DSrc->AddSeries();
    Series1->SetSeriesColour(kProcPointColour);
    SeriesLine0 = &DSrc->AddSeries();
    SeriesLine0->SetSeriesColour(Qt::white);
    DDst = makeChart("DDst");
    DDst->setAccessibleName(QStringLiteral("Result curve"));
    Series2 = &DDst->AddSeries();
    Series2->SetSeriesColour(kProcPointColour);
    Series2->SetActive(false);
    SeriesI = &DDst->AddSeries();
    SeriesI->SetSeriesColour(kProcIntegralColour);

    auto readout = [&](TChart* chart, const char* name) {
        auto* l = Named(new QLabel(chart), name);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, kReadoutColour);
        p.setColor(QPalette::WindowText, Qt::black);
        l->setPalette(p);
        QFont rf(QStringLiteral("Arial"));
        rf.setStyleHint(QFont::SansSerif);
        rf.setPointSizeF(8 * layoutScale_);
        l->setFont(rf);
        // 153 x 14 at design size; wide enough for the longest readout with
        // this platform's fonts.
        const int width = std::max<int>(
            static_cast<int>(153 * layoutScale_),
            l->fontMetrics().horizontalAdvance(QStringLiteral(" F: -99 999.00 kHz \u2022 A: -500 a.u.")) + 8);
        l->setGeometry(static_cast<int>(20 * layoutScale_), static_cast<int>(6 * layoutScale_),
                       width, std::max<int>(static_cast<int>(14 * layoutScale_),
                                            l->fontMetrics().height() + 2));
        return l;
    };
    XYST = readout(DSrc, "XYST");
    XYST->setText(QStringLiteral("  X:                    Y:"));
    DstXYST = readout(DDst, "DstXYST");

    const double s = layoutScale_;
    auto scaled = [s](int x, int y, int w, int h) {
        return QRect(static_cast<int>(x * s), static_cast<int>(y * s), static_cast<int>(w * s),
                     static_cast<int>(h * s));
    };
    auto caption = [&](QGroupBox* box) {
        QFont bold = font();
        bold.setBold(true);
        box->setFont(bold);
        SetColour(box, kCaptionColour);
    };
    QFont plainFont = font();
    plainFont.setBold(false); // not the group caption's bold
    auto nameLabel = [&](QWidget* parent, const char* name, const char* text, int x, int y, int w) {
        auto* l = Named(new QLabel(QString::fromUtf8(text), parent), name);
        l->setFont(plainFont);
        SetColour(l, kNameColour);
        l->setGeometry(scaled(x, y, w, 14));
        return l;
    };
    auto valueLabel = [&](QWidget* parent, const char* name, int x, int y, int w, bool right) {
        auto* l = Named(new QLabel(parent), name);
        l->setFont(plainFont);
        SetColour(l, Qt::black);
        l->setGeometry(scaled(x, y, w, 14));
        l->setAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        return l;
    };

    // "Experiment setup": name labels left, values right-aligned over the row.
    GroupBox1 = Named(new TGroupBox(QStringLiteral("Experiment setup"), central), "GroupBox1");
    caption(GroupBox1);
    struct Row {
        QLabel** name;
        const char* nameId;
        const char* text;
        QLabel** value;
        const char* valueId;
    };
    const Row rows[] = {{&ModeLab, "ModeLab", "Mode", &LResonance, "LResonance"},
                        {&SweepTpLab, "SweepTpLab", "Sweep", &LSweepTp, "LSweepTp"},
                        {&SweepRLab, "SweepRLab", "Sweep range", &LSweepR, "LSweepR"},
                        {&ModAmpLab, "ModAmpLab", "2nd Mod Amplit", &LModAmp, "LModAmp"},
                        {&SweepTLab, "SweepTLab", "Sweep time", &LSweepTime, "LSweepTime"},
                        {&GainLab, "GainLab", "Gain", &LGain, "LGain"},
                        {&PhaseLab, "PhaseLab", "Phase", &LPhase, "LPhase"},
                        {&B0Lab, "B0Lab", "B0", &LB0, "LB0"},
                        {&FreqLab, "FreqLab", "Frequency", &LFrequency, "LFrequency"},
                        {&AccLab, "AccLab", "Acc", &LAcc, "LAcc"}};
    int y = 18;
    for (const Row& r : rows) {
        *r.name = nameLabel(GroupBox1, r.nameId, r.text, 8, y, 137);
        *r.value = valueLabel(GroupBox1, r.valueId, 8, y, 137, true);
        y += 16;
    }
    LSweepTp->setText(QStringLiteral("Frequency"));
    CommentLab = nameLabel(GroupBox1, "CommentLab", "Comment", 8, y + 2, 137);
    LComment = Named(new QPlainTextEdit(GroupBox1), "LComment");
    LComment->setFont(plainFont);
    LComment->setReadOnly(true);
    LComment->setFrameStyle(QFrame::NoFrame);
    LComment->setGeometry(scaled(12, y + 18, 129, 49));
    {
        QPalette p = LComment->palette();
        p.setColor(QPalette::Base, kFormColour);
        p.setColor(QPalette::Text, Qt::black);
        LComment->setPalette(p);
    }

    // "Processing parameters": four panels.
    GroupBox2 =
        Named(new TGroupBox(QStringLiteral("Processing parameters"), central), "GroupBox2");
    caption(GroupBox2);
    auto panel = [&](const char* name, int py, int ph) {
        QFrame* p = frame(GroupBox2, name);
        p->setFrameStyle(QFrame::Panel | QFrame::Raised);
        p->setGeometry(scaled(6, py, 141, ph));
        return p;
    };
    M2Panel = panel("M2Panel", 18, 72);
    M2Label = nameLabel(M2Panel, "M2Label", "M2 = ", 4, 3, 40);
    M2Val = valueLabel(M2Panel, "M2Val", 36, 3, 92, true);
    M2LLabel = nameLabel(M2Panel, "M2LLabel", "M2L = ", 4, 20, 40);
    M2LVal = valueLabel(M2Panel, "M2LVal", 36, 20, 92, true);
    M2RLabel = nameLabel(M2Panel, "M2RLabel", "M2R = ", 4, 37, 40);
    M2RVal = valueLabel(M2Panel, "M2RVal", 36, 37, 92, true);
    M4Label = nameLabel(M2Panel, "M4Label", "M4 = ", 4, 54, 40);
    M4Val = valueLabel(M2Panel, "M4Val", 36, 54, 92, true);
    M4Val4 = Named(new QLabel(QStringLiteral("4"), M2Panel), "M4Val4");
    {
        QFont small = plainFont;
        small.setPointSizeF(6 * layoutScale_);
        M4Val4->setFont(small);
        SetColour(M4Val4, Qt::black);
        M4Val4->setGeometry(scaled(129, 51, 9, 10));
        M4Val4->hide();
    }
    GPanel = panel("GPanel", 18, 22);
    GLabel = nameLabel(GPanel, "GLabel", "G =", 4, 4, 40);
    GVal = valueLabel(GPanel, "GVal", 36, 4, 100, true);
    DBPanel = panel("DBPanel", 94, 22);
    DHLabel = nameLabel(DBPanel, "DHLabel", "SDB =", 4, 4, 40);
    DBVal = valueLabel(DBPanel, "DBVal", 36, 4, 100, true);
    AbsorptionPanel = panel("AbsorptionPanel", 120, 56);
    AILabel = nameLabel(AbsorptionPanel, "AILabel", "AI =", 4, 3, 40);
    AIVal = valueLabel(AbsorptionPanel, "AIVal", 36, 3, 100, true);
    ILLabel = nameLabel(AbsorptionPanel, "ILLabel", "LC = ", 4, 20, 40);
    ILBVal = valueLabel(AbsorptionPanel, "ILBVal", 36, 20, 100, true);
    IRLabel = nameLabel(AbsorptionPanel, "IRLabel", "RC = ", 4, 37, 40);
    ILEVal = valueLabel(AbsorptionPanel, "ILEVal", 36, 37, 100, true);

    // Status bar: one panel.
    StatusBar = Named(new QStatusBar(this), "StatusBar");
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setFixedHeight(static_cast<int>(19 * layoutScale_));
    StatusBar->setFont(toolFont);
    StatusPanel0 = Named(new QLabel(QStringLiteral("File: "), StatusBar), "StatusPanel0");
    StatusPanel0->setMinimumWidth(static_cast<int>(50 * layoutScale_));
    StatusBar->addWidget(StatusPanel0, 1);
    ClippedLab = Named(new QLabel(StatusBar), "ClippedLab");
    ClippedLab->setStyleSheet(QStringLiteral("QLabel { color: white; background-color: #c00000; }"));
    StatusBar->addPermanentWidget(ClippedLab);
    ClippedLab->hide();
    setStatusBar(StatusBar);
}

void TFDataProc::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    auto item = [&](const char* name, const char* text) {
        QAction* a = file->addAction(QString::fromUtf8(text));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    MOpen = item("MOpen", "Open");
    MExportAscii = item("MExportAscii", "Export ASCII");
    MExportData = item("MExportData", "Export...");
    file->addSeparator();
    SaveSetupAs1 = item("SaveSetupAs1", "Save Setup As");
    SaveSetupAs1->setEnabled(false);
    file->addSeparator();
    MPrint = item("MPrint", "Print");
    MPrintPdf = item("MPrintPdf", "Print to PDF...");
    file->addSeparator();
    MExit = item("MExit", "Exit");
    MExportAscii->setEnabled(false);
    MExportData->setEnabled(false);
    MPrint->setEnabled(false);
    MPrintPdf->setEnabled(false);
    MOpen->setShortcut(QKeySequence::Open);
    MPrint->setShortcut(QKeySequence::Print);
    MExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* analysis = menuBar()->addMenu(QStringLiteral("Analysis"));
    analysis->setObjectName(QStringLiteral("Analysis1"));
    MAnalysis = analysis->addAction(QStringLiteral("Fit and quantify..."));
    MAnalysis->setObjectName(QStringLiteral("MAnalysis"));
    MAnalysis->setEnabled(false);
    MCompareFiles = analysis->addAction(QStringLiteral("Compare files..."));
    MCompareFiles->setObjectName(QStringLiteral("MCompareFiles"));
}

void TFDataProc::OnToggle(QToolButton* button, std::function<void()> handler) {
    connect(button, &QToolButton::toggled, this, [handler = std::move(handler)](bool) { handler(); });
}

void TFDataProc::SetDown(QToolButton* button, bool down) {
    const QSignalBlocker blocker(button);
    button->setChecked(down);
}

void TFDataProc::ConnectHandlers() {
    connect(FOpenTB, &QToolButton::clicked, this, &TFDataProc::FOpenTBClick);
    connect(MOpen, &QAction::triggered, this, &TFDataProc::FOpenTBClick);
    connect(ExportATB, &QToolButton::clicked, this, &TFDataProc::MExportAsciiClick);
    connect(MExportAscii, &QAction::triggered, this, &TFDataProc::MExportAsciiClick);
    connect(DOSaveTB, &QToolButton::clicked, this, &TFDataProc::DOSaveTBClick);
    connect(MPrint, &QAction::triggered, this, &TFDataProc::MPrintClick);
    connect(MPrintPdf, &QAction::triggered, this, &TFDataProc::MPrintPdfClick);
    connect(MExportData, &QAction::triggered, this, &TFDataProc::MExportDataClick);
    connect(MExit, &QAction::triggered, this, &TFDataProc::MExitClick);
    connect(SetupTB, &QToolButton::clicked, this, &TFDataProc::SetupTBClick);
    connect(AnalysisTB, &QToolButton::clicked, this, &TFDataProc::AnalysisTBClick);
    connect(MAnalysis, &QAction::triggered, this, &TFDataProc::AnalysisTBClick);
    connect(Line0DnTB, &QToolButton::clicked, this, &TFDataProc::Line0DnTBClick);
    connect(Line0UpTB, &QToolButton::clicked, this, &TFDataProc::Line0UpTBClick);
    connect(Line0LeftTB, &QToolButton::clicked, this, &TFDataProc::Line0LeftTBClick);
    connect(Line0RightTB, &QToolButton::clicked, this, &TFDataProc::Line0RightTBClick);
    connect(UnZoomTB, &QToolButton::clicked, this, &TFDataProc::UnZoomTBClick);
    connect(VerticalExpTB, &QToolButton::clicked, this, &TFDataProc::VerticalExpTBClick);
    OnToggle(FDerivativeTB, [this] { FDerivativeTBClick(); });
    OnToggle(AbsorptionTB, [this] { AbsorptionTBClick(); });
    OnToggle(ZoomTB, [this] { ZoomTBClick(); });
    OnToggle(M2DerivativeTB, [this] { RunMomentHandler(M2DerivativeTB); });
    OnToggle(M2AbsorptionTB, [this] { RunMomentHandler(M2AbsorptionTB); });
    OnToggle(SDBTB, [this] { SDBTBClick(); });
    OnToggle(HDBTB, [this] { HDBTBClick(); });
    OnToggle(IntegralTB, [this] { IntegralTBClick(); });
    for (QToolButton* b : {M2LCTB, M2MCTB, M2RCTB})
        OnToggle(b, [this, b] { M2CTBClick(b); });
    ResultMarker.OnMove = [this] { UpdateResults(); };
    DDst->OnZoom = [this] { DDstZoom(); };
    DSrc->OnStepKey = [this](int points) { SourceMarker.Step(points); };
    DDst->OnStepKey = [this](int points) { ResultMarker.Step(points); };
    DDst->OnUndoZoom = [this] { DDstUndoZoom(); };
}

void TFDataProc::FormCreate() {
    setWindowTitle(QStringLiteral("CW NMR/ESR Spectrometer - PROCESSING"));
    const double s = layoutScale_;
    auto sc = [s](int v) { return static_cast<int>(v * s); };
    // The top row is shown (the design hides it, which would leave the
    // views out of reach), with every button at its normal size.
    DIFileToolBar->setGeometry(0, 0, sc(kDesignWidth), sc(kRowHeight));
    DOFileToolBar->setGeometry(0, 0, sc(kDesignWidth), sc(kRowHeight));
    GroupBox1->setGeometry(sc(kGroupBox1Design.x()), sc(kGroupBox1Design.y()),
                           sc(kGroupBox1Design.width()), sc(kGroupBox1Design.height()));
    GroupBox2->setGeometry(sc(kGroupBox2Design.x()), sc(kGroupBox2Design.y()),
                           sc(kGroupBox2Design.width()), sc(kGroupBox2Design.height()));
    DSrc->move(sc(kDSrcDesign.x()), sc(kDSrcDesign.y()));
    // Charts and button rows at the scaled design size.
    LayoutToSize(false);
    // No cursor until a file is loaded.
    SourceMarker.Detach();
    ResultMarker.Detach();
}

void TFDataProc::LayoutToSize(bool grow) {
    const double s = layoutScale_;
    auto sc = [s](int v) { return static_cast<int>(v * s); };
    // The scaled design first; room beyond it goes to the charts, and the
    // group boxes keep to the right edge.
    const QRect bar(0, 0, sc(kDesignWidth), sc(kRowHeight));
    const QRect g1(sc(kGroupBox1Design.x()), sc(kGroupBox1Design.y()),
                   sc(kGroupBox1Design.width()), sc(kGroupBox1Design.height()));
    const QRect g2(sc(kGroupBox2Design.x()), sc(kGroupBox2Design.y()),
                   sc(kGroupBox2Design.width()), sc(kGroupBox2Design.height()));
    const QPoint src(sc(kDSrcDesign.x()), sc(kDSrcDesign.y()));
    const int gap = src.y() - (bar.y() + bar.height());
    const int bottom = g2.y() + g2.height() + (g2.y() - g1.y() - g1.height());
    const int chartWidth = g1.x() - 2 * src.x();
    const int h = (bottom - bar.y() - bar.height() - bar.height() - 4 * gap) / 2;
    if (designSize_.isEmpty())
        designSize_ = size();
    const int extraW = grow ? std::max(0, width() - designSize_.width()) : 0;
    const int extraH = grow ? std::max(0, height() - designSize_.height()) : 0;

    DIFileToolBar->setGeometry(bar.adjusted(0, 0, extraW, 0));
    DOFileToolBar->resize(bar.width() + extraW, bar.height());
    GroupBox1->setGeometry(g1.translated(extraW, 0));
    GroupBox2->setGeometry(g2.translated(extraW, 0));
    const int chartH = h + extraH / 2;
    const bool resized = DSrc->size() != QSize(chartWidth + extraW, chartH);
    DSrc->setGeometry(src.x(), src.y(), chartWidth + extraW, chartH);
    DOFileToolBar->move(0, DSrc->y() + chartH + gap);
    DDst->setGeometry(src.x(), DOFileToolBar->y() + DOFileToolBar->height() + gap,
                      chartWidth + extraW, chartH);
    // The cursors step by pixels of the chart they are on.
    if (resized) {
        SourceMarker.PixelsPerPoint = 0;
        ResultMarker.PixelsPerPoint = 0;
    }
    LayoutRows();
}

void TFDataProc::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // Once created, every size change re-lays the window out from its design.
    if (DSrc && !designSize_.isEmpty())
        LayoutToSize(true);
}

void TFDataProc::LayoutRows() {
    const double s = layoutScale_;
    auto sc = [s](int v) { return static_cast<int>(v * s); };
    const int buttonTop = sc(2);
    const int buttonHeight = sc(kButtonHeight);
    // A toolbar's buttons share one width, that of its widest caption.
    auto buttonWidth = [&](QFrame* bar) {
        int w = sc(kSmallButton);
        for (QToolButton* b : bar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
            w = std::max(w, b->fontMetrics().horizontalAdvance(b->text().replace("&&", "&")) + sc(14));
        return w;
    };
    // Chains widgets left to right in a row, each where the previous ends.
    auto chain = [&](std::initializer_list<std::pair<QWidget*, int>> items) {
        int x = 0;
        for (auto [w, width] : items) {
            w->setGeometry(x, buttonTop, width, buttonHeight);
            x += width;
        }
    };
    const int topWidth = buttonWidth(DIFileToolBar);
    chain({{FOpenTB, topWidth},
           {ExportATB, topWidth},
           {S11TB, sc(10)},
           {FDerivativeTB, topWidth},
           {AbsorptionTB, topWidth},
           {AnalysisTB, topWidth},
           {S12TB, sc(10)},
           {S13TB, sc(20)},
           {SetupTB, topWidth}});
    // S13TB fills the row up to one button before its end; SetupTB follows it.
    const int rowWidth = DIFileToolBar->width();
    S13TB->resize(std::max(sc(20), rowWidth - topWidth - S13TB->x()), buttonHeight);
    SetupTB->move(S13TB->x() + S13TB->width(), buttonTop);
    L0ToolBar->setGeometry(S13TB->x(), DIFileToolBar->y(), S13TB->width(), DIFileToolBar->height());
    {
        int x = 0;
        for (QToolButton* b : {Line0DnTB, Line0UpTB, Line0LeftTB, Line0RightTB}) {
            b->setGeometry(x, buttonTop, sc(kSmallButton), buttonHeight);
            x += sc(kSmallButton);
        }
    }

    const int saveWidth = buttonWidth(DOFileToolBar);
    const int zoomWidth = buttonWidth(ZoomToolBar);
    const int measureWidth = std::max(buttonWidth(AbsorptionToolBar), buttonWidth(FDerivativeToolBar));
    const int cursorWidth = buttonWidth(CursorsToolBar);
    chain({{DOSaveTB, saveWidth},
           {S21TB, sc(15)},
           {SZOOMTB, 3 * zoomWidth},
           {S22TB, sc(15)},
           {SAbsorptionTB, 3 * measureWidth},
           {S23TB, sc(15)},
           {SCursorsTB, 3 * cursorWidth}});
    auto overlay = [&](QFrame* toolbar, QFrame* slot, std::initializer_list<QToolButton*> buttons,
                       int w) {
        toolbar->setGeometry(slot->x(), DOFileToolBar->y(), slot->width(), DOFileToolBar->height());
        int x = 0;
        for (QToolButton* b : buttons) {
            b->setGeometry(x, buttonTop, w, buttonHeight);
            x += w;
        }
        toolbar->raise();
    };
    overlay(ZoomToolBar, SZOOMTB, {ZoomTB, UnZoomTB, VerticalExpTB}, zoomWidth);
    overlay(AbsorptionToolBar, SAbsorptionTB, {M2AbsorptionTB, HDBTB, IntegralTB}, measureWidth);
    overlay(FDerivativeToolBar, SAbsorptionTB, {M2DerivativeTB, SDBTB}, measureWidth);
    overlay(CursorsToolBar, SCursorsTB, {M2LCTB, M2MCTB, M2RCTB}, cursorWidth);
    L0ToolBar->raise();
    IntegralToolBar->setGeometry(SCursorsTB->x(), DOFileToolBar->y(), 2 * cursorWidth,
                                 DOFileToolBar->height());
}

} // namespace tavi
