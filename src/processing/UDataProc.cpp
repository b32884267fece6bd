// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window: controls and layout, loading, the two views, the
// measurement and cursor buttons, zoom and the after-draw hooks.
#include "processing/UDataProc.h"

#include "common/Usr.h"
#include "params/Freq.h"
#include "params/NumFormat.h"
#include "platform/Chart.h"
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

template <class W> W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

void SetColour(QWidget* w, QColor colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    w->setPalette(p);
}

// EnableChildren: every control directly inside a container.
void EnableChildren(QWidget* container, bool on) {
    for (QWidget* w : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        w->setEnabled(on);
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
    const long double ratio = static_cast<long double>(screenWidth) * 0.00125L;
    displayScale_ = ratio > 1 ? static_cast<double>(RoundToReal48(ratio * 1.09L)) : 1.0;
    // Scale by the width; a screen wider than 4:3 is limited by its height, or
    // the charts would reach below it.
    layoutScale_ = screenWidth >= 800 ? std::min(screenWidth / 800.0,
                                                 std::max(1.0, screenHeight / 600.0))
                                      : 1.0;
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

namespace {
const char* const kMomentHint = "Second and fourth moments";
} // namespace

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
        plot->setBackground(kFormColour);
        plot->axisRect()->setBackground(kPlotColour);
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
    GroupBox1 = Named(new QGroupBox(QStringLiteral("Experiment setup"), central), "GroupBox1");
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
        Named(new QGroupBox(QStringLiteral("Processing parameters"), central), "GroupBox2");
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
    SeriesLine0->OnAfterDraw = [this] { SeriesLine0AfterDrawValues(); };
    Series2->OnAfterDraw = [this] { Series2AfterDrawValues(); };
    DDst->OnZoom = [this] { DDstZoom(); };
    DSrc->OnStepKey = [this](int points) { SourceMarker.Step(points); };
    DDst->OnStepKey = [this](int points) { ResultMarker.Step(points); };
    DDst->OnUndoZoom = [this] { DDstUndoZoom(); };
}

void TFDataProc::FormCreate() {
    // 1.
    setWindowTitle(QStringLiteral("CW NMR/ESR Spectrometer - PROCESSING"));
    const double s = layoutScale_;
    auto sc = [s](int v) { return static_cast<int>(v * s); };
    // 2.-3. The top row is shown (the design hides it, which would leave the
    // views out of reach), with every button at its normal size.
    DIFileToolBar->setGeometry(0, 0, sc(kDesignWidth), sc(kRowHeight));
    DOFileToolBar->setGeometry(0, 0, sc(kDesignWidth), sc(kRowHeight));
    GroupBox1->setGeometry(sc(kGroupBox1Design.x()), sc(kGroupBox1Design.y()),
                           sc(kGroupBox1Design.width()), sc(kGroupBox1Design.height()));
    GroupBox2->setGeometry(sc(kGroupBox2Design.x()), sc(kGroupBox2Design.y()),
                           sc(kGroupBox2Design.width()), sc(kGroupBox2Design.height()));
    DSrc->move(sc(kDSrcDesign.x()), sc(kDSrcDesign.y()));
    // 4.-7.
    LayoutToSize(false);
    // 8.
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

// ---------------------------------------------------------------- showing, closing

void TFDataProc::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFDataProc::FormShow() {
    // 1.
    ClearSetupLabels();
    XYST->clear();
    SetStatusPanel(QString());
    Clipped = 0;
    ClippedLab->hide();
    // 2.
    ExportATB->setEnabled(false);
    MExportAscii->setEnabled(false);
    MExportData->setEnabled(false);
    FDerivativeTB->setEnabled(false);
    AbsorptionTB->setEnabled(false);
    EnableChildren(L0ToolBar, false);
    GPanel->hide();
    // 3.
    SetDown(FDerivativeTB, false);
    FDerivativeTBClick();
    SetDown(AbsorptionTB, false);
    AbsorptionTBClick();
    // 4.
    IntegralToolBar->hide();
}

void TFDataProc::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TFDataProc::FormClose() {
    SourceMarker.Detach();
    ResultMarker.Detach();
}

void TFDataProc::MExitClick() {
    close();
}

void TFDataProc::SetupTBClick() {
    if (!acquisitionWindow_)
        return;
    acquisitionWindow_->raise();
    acquisitionWindow_->activateWindow();
}

void TFDataProc::SetAcquisitionDirectory(const QString& dir) {
    acquisitionDir_ = dir;
    fileName_.clear();
}

// ---------------------------------------------------------------- loading

void TFDataProc::FOpenTBClick() {
    const QString path = Dialogs().OpenFile(this, QStringLiteral("Open"), acquisitionDir_,
                                            QStringLiteral("TAVI data file (*.dcw)"));
    if (path.isEmpty())
        return;
    OpenFile(path);
}

void TFDataProc::OpenFile(const QString& path) {
    if (path.isEmpty())
        return;
    fileName_ = path;
    LoadDataFile(path);
}

QString TFDataProc::DroppedDataFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    const QString path = urls.front().toLocalFile();
    return path.endsWith(QStringLiteral(".dcw"), Qt::CaseInsensitive) ? path : QString();
}

void TFDataProc::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedDataFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TFDataProc::dropEvent(QDropEvent* event) {
    const QString path = DroppedDataFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Not inside the drop: the load may show a message box.
    QTimer::singleShot(0, this, [this, path] { OpenFile(path); });
}

void TFDataProc::FitSetupValues() {
    // A long value (a frequency in kHz with its decimals) would run into its
    // name: it gets a smaller font, down to 6 points.
    const std::pair<QLabel*, QLabel*> pairs[] = {
        {ModeLab, LResonance}, {SweepTpLab, LSweepTp}, {SweepRLab, LSweepR},
        {ModAmpLab, LModAmp},  {SweepTLab, LSweepTime}, {GainLab, LGain},
        {PhaseLab, LPhase},    {B0Lab, LB0},           {FreqLab, LFrequency},
        {AccLab, LAcc}};
    for (const auto& [name, value] : pairs) {
        QFont f = name->font();
        const int room = value->width() - name->fontMetrics().horizontalAdvance(name->text()) - 6;
        while (f.pointSizeF() > 6 && QFontMetrics(f).horizontalAdvance(value->text()) > room)
            f.setPointSizeF(f.pointSizeF() - 0.5);
        value->setFont(f);
    }
}

void TFDataProc::ClearSetupLabels() {
    for (QLabel* l : {LResonance, LSweepTp, LSweepR, LModAmp, LSweepTime, LGain, LPhase, LAcc,
                      LB0, LFrequency})
        l->clear();
    LComment->clear();
}

QString TFDataProc::FileUnitText() const {
    return Settings.FieldSweep == 0 ? QStringLiteral("kHz") : QStringLiteral("Gs");
}

char TFDataProc::FileAxisLetter() const {
    return Settings.FieldSweep == 0 ? 'F' : 'B';
}

void TFDataProc::SetStatusPanel(const QString& text) {
    StatusPanel0->setText(
        Q(PanelValueText(StatusPanel0->text().toStdString(), text.toStdString())));
}

bool TFDataProc::LoadDataFile(const QString& path) {
    if (path.isEmpty())
        return false;
    // The whole file is read and checked first: a file that fails leaves the
    // window as it was.
    LoadedDataFile f;
    std::string error;
    if (!ReadDataFile(path.toStdString(), f, &error)) {
        if (error == "file format error")
            Dialogs().Message(this, Q(error), MsgIcon::Error, MsgButtons::Ok);
        else
            Dialogs().ShowError(this, Q(error));
        return false;
    }
    // 2.
    SourceMarker.Detach();
    ClearSetupLabels();
    Series1->Clear();
    // 3.-5.
    Header = f.Header;
    Settings = f.Settings;
    XStep = f.XStep;
    ModAmpValue = f.ModAmpValue;
    FrequencyValue = f.FrequencyValue;
    FieldB0Value = f.FieldB0Value;
    // A line cut at the display range gives widths and a base line that look
    // plausible and are wrong: say so beside the file name.
    Clipped = f.Clipped;
    ClippedLab->setText(
        QStringLiteral(" clipped: %1 points (beyond \u00B1500, measured as cut) ").arg(Clipped));
    ClippedLab->setVisible(Clipped > 0);
    // 6.
    if (Settings.FieldSweep == 0)
        DSrc->BottomAxis().SetValueFormat("# ##0.### [kHz]");
    else if (Settings.FieldSweep == 1)
        DSrc->BottomAxis().SetValueFormat("# ##0.### [Gs]");
    // 7.-9.
    DSrc->BottomAxis().SetMinMax(f.XMin, f.XMax);
    DSrc->BottomAxis().SetIncrement((f.XMax - f.XMin) * 0.25);
    DSrc->RightAxis().SetMinMax(-500, 500);
    DSrc->RightAxis().SetIncrement(250);
    const int n = static_cast<int>(f.Y.size());
    Series1->Reserve(n);
    for (int i = 0; i < n; ++i)
        Series1->AddXY(f.X[static_cast<std::size_t>(i)], f.Y[static_cast<std::size_t>(i)],
                       kProcPointColour);
    // 11.
    LResonance->setText(Q(Settings.ModeText));
    const double range = Settings.SweepRange;
    if (Settings.FieldSweep == 0) {
        LSweepTp->setText(QStringLiteral("Frequency"));
        LSweepR->setText(Q(Format("%4d kHz", {Arg(static_cast<long long>(RoundHalfEven(range)))})));
    } else {
        if (Settings.FieldSweep == 1)
            LSweepTp->setText(QStringLiteral("Field"));
        LSweepR->setText(Q(Format("%4g Gs", {Arg(range)})));
    }
    LModAmp->setText(Q(Settings.ModAmpText));
    LSweepTime->setText(Q(Settings.SweepTimeText));
    LGain->setText(Q(Settings.GainText));
    LPhase->setText(Q(Settings.PhaseText));
    LAcc->setText(Q(Settings.AccText));
    LB0->setText(Q(Settings.FieldB0Text));
    LFrequency->setText(Q(Settings.FrequencyText));
    LComment->setPlainText(Q(Settings.Comment));
    FitSetupValues();
    // 12.
    SourceMarker.Attach(*DSrc, n, mkVertical, FileAxisLetter(), FileUnitText().toStdString(), 0,
                        XYST, static_cast<int>(std::trunc(displayScale_ * 84)),
                        static_cast<int>(std::trunc(displayScale_ * 80)), 1);
    SourceMarker.Centre();
    ExportATB->setEnabled(true);
    MExportAscii->setEnabled(true);
    MExportData->setEnabled(true);
    FDerivativeTB->setEnabled(true);
    AbsorptionTB->setEnabled(true);
    EnableChildren(L0ToolBar, true);
    SetStatusPanel(path);
    // 13.
    Base = tavi::FitBaseLine(Series1->Ys());
    std::vector<double> line;
    BaseLineValues(Base, n, line);
    SeriesLine0->Clear();
    SeriesLine0->Reserve(n);
    for (int i = 0; i < n; ++i)
        SeriesLine0->AddXY(Series1->X(i), line[static_cast<std::size_t>(i)], Qt::white);
    ++baseVersion_;
    loaded_ = true;
    SourceMarker.SetBaseLineSeries(SeriesLine0);
    SetDown(FDerivativeTB, false);
    FDerivativeTBClick();
    SetDown(AbsorptionTB, false);
    AbsorptionTBClick();
    // Nothing of the previous file stays on the result chart: its curve, its
    // readout and its axis follow the new file before any view is chosen.
    Series2->Clear();
    DstXYST->clear();
    DDst->BottomAxis().SetValueFormat(DSrc->BottomAxis().ValueFormat());
    DDst->BottomAxis().SetMinMax(f.XMin, f.XMax);
    DDst->BottomAxis().SetIncrement((f.XMax - f.XMin) * 0.25);
    DDst->Invalidate();
    // 14.
    momentIsG_ = Settings.ModeText == "ESR";
    const QString moment = momentIsG_ ? QStringLiteral("G") : QStringLiteral("M2");
    M2DerivativeTB->setText(moment);
    M2AbsorptionTB->setText(moment);
    for (QToolButton* b : {M2DerivativeTB, M2AbsorptionTB})
        b->setToolTip(momentIsG_ ? QStringLiteral("g-factor at the line centre")
                                 : QString::fromUtf8(kMomentHint));
    return true;
}

// ---------------------------------------------------------------- views

bool TFDataProc::DerivativeOn() const {
    return FDerivativeTB->isChecked();
}

bool TFDataProc::AbsorptionOn() const {
    return AbsorptionTB->isChecked();
}

void TFDataProc::CopySourceAxes() {
    // A zoom of an earlier view (or file) must not come back with "UZ".
    if (DDst->Zoomed())
        DDst->UndoZoom();
    TChartAxis& from = DSrc->BottomAxis();
    TChartAxis& to = DDst->BottomAxis();
    to.SetMinMax(from.Minimum(), from.Maximum());
    to.SetValueFormat(from.ValueFormat());
    // The label step goes along: the design's 25 would crowd a wide sweep.
    to.SetIncrement(from.Increment());
    DDst->RightAxis().SetMinMax(DSrc->RightAxis().Minimum(), DSrc->RightAxis().Maximum());
    DDst->RightAxis().SetIncrement(DSrc->RightAxis().Increment());
}

void TFDataProc::ShowDerivative() {
    Series2->Clear();
    CopySourceAxes();
    std::vector<double> values;
    const int first = Series1->FirstVisibleIndex();
    const int last = Series1->LastVisibleIndex();
    DerivativeValues(Series1->Ys(), SeriesLine0->Ys(), first, last, values);
    Series2->Reserve(static_cast<int>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k)
        Series2->AddXY(Series1->X(first + static_cast<int>(k)), values[k], kProcPointColour);
    derivedVersion_ = baseVersion_;
    ++series2Version_;
}

void TFDataProc::IntegrateAbsorption() {
    IntegratorSource src{Series1->Xs(), Series1->Ys(), SeriesLine0->Ys(),
                         Series1->FirstVisibleIndex(), Series1->LastVisibleIndex()};
    AbsorptionIntegrator.Integrate(src, src.VisibleFrom, src.VisibleTo,
                                   DDst->RightAxis().Minimum(), DDst->RightAxis().Maximum(), outX_,
                                   outY_);
    Series2->Clear();
    Series2->Reserve(static_cast<int>(outX_.size()));
    for (std::size_t k = 0; k < outX_.size(); ++k)
        Series2->AddXY(outX_[k], outY_[k], kProcPointColour);
    derivedVersion_ = baseVersion_;
    ++series2Version_;
}

void TFDataProc::ShowAbsorption() {
    CopySourceAxes();
    AbsorptionIntegrator.Init(false);
    AbsorptionIntegrator.Factor = AbsorptionFactor(Series1->Ys());
    IntegrateAbsorption();
}

void TFDataProc::AttachResultMarker() {
    ResultMarker.Attach(*DDst, Series2->Count(), mkVertical, FileAxisLetter(),
                        FileUnitText().toStdString(), 1, DstXYST,
                        static_cast<int>(std::trunc(displayScale_ * 82)), 1, 1);
    ResultMarker.Centre();
}

void TFDataProc::ViewOff(bool derivative) {
    // Zoom mode ends with its view: its button is about to be disabled.
    if (ZoomTB->isChecked()) {
        SetDown(ZoomTB, false);
        ZoomTBClick();
    }
    // The release actions below move the cursor; the readout keeps the last
    // position the operator saw.
    ResultMarker.Active = false;
    if (derivative) {
        SetDown(M2DerivativeTB, false);
        RunMomentHandler(M2DerivativeTB);
        SetDown(SDBTB, false);
        SDBTBClick();
    } else {
        SetDown(M2AbsorptionTB, false);
        RunMomentHandler(M2AbsorptionTB);
        SetDown(HDBTB, false);
        HDBTBClick();
        SetDown(IntegralTB, false);
        IntegralTBClick();
    }
    ResultMarker.Detach();
}

void TFDataProc::ViewVisibility(bool derivative, bool on) {
    (derivative ? FDerivativeToolBar : AbsorptionToolBar)->setVisible(on);
    if (!derivative)
        AbsorptionPanel->setVisible(on);
    if (momentIsG_)
        GPanel->setVisible(on);
    else
        M2Panel->setVisible(on);
    DBPanel->setVisible(on);
    CursorsToolBar->setVisible(on);
    EnableChildren(ZoomToolBar, on);
    Series2->SetActive(on);
    MPrint->setEnabled(on);
    MPrintPdf->setEnabled(on);
    DOSaveTB->setEnabled(on);
}

void TFDataProc::FDerivativeTBClick() {
    const bool on = FDerivativeTB->isChecked();
    if (on) {
        SetDown(AbsorptionTB, false);
        AbsorptionTBClick();
        ShowDerivative();
        AttachResultMarker();
        for (QLabel* l : {M2Val, M2LVal, M2RVal, M4Val, DBVal, GVal})
            l->clear();
        M4Val4->hide();
        DHLabel->setText(SDBTB->text() + QStringLiteral(" ="));
    } else {
        ViewOff(true);
    }
    ViewVisibility(true, on);
}

void TFDataProc::AbsorptionTBClick() {
    const bool on = AbsorptionTB->isChecked();
    if (on) {
        SetDown(FDerivativeTB, false);
        FDerivativeTBClick();
        ShowAbsorption();
        AttachResultMarker();
        AreaIntegrator.Init(true);
        AreaIntegrator.Factor = kAreaFactor;
        for (QLabel* l : {M2Val, M2LVal, M2RVal, M4Val, DBVal, AIVal, ILBVal, ILEVal, GVal})
            l->clear();
        M4Val4->hide();
        DHLabel->setText(HDBTB->text() + QStringLiteral(" ="));
    } else {
        ViewOff(false);
    }
    ViewVisibility(false, on);
}

// ---------------------------------------------------------------- base line

void TFDataProc::RedrawBaseLine() {
    std::vector<double> line;
    BaseLineValues(Base, SeriesLine0->Count(), line);
    for (int i = 0; i < SeriesLine0->Count(); ++i)
        SeriesLine0->SetY(i, line[static_cast<std::size_t>(i)]);
    ++baseVersion_;
}

void TFDataProc::Line0DnTBClick() {
    Base.Offset -= kBaseLineOffsetStep;
    RedrawBaseLine();
}

void TFDataProc::Line0UpTBClick() {
    Base.Offset += kBaseLineOffsetStep;
    RedrawBaseLine();
}

void TFDataProc::Line0LeftTBClick() {
    Base.Slope -= kBaseLineSlopeStep;
    RedrawBaseLine();
}

void TFDataProc::Line0RightTBClick() {
    Base.Slope += kBaseLineSlopeStep;
    RedrawBaseLine();
}

void TFDataProc::SeriesLine0AfterDrawValues() {
    if (!Series2->Active())
        return;
    // Every drawing of the source chart calls in here, cursor drags too; the
    // result curve depends only on the base line, so rebuild it on a change.
    if (derivedVersion_ == baseVersion_)
        return;
    if (FDerivativeTB->isChecked()) {
        std::vector<double> values(static_cast<std::size_t>(Series2->Count()));
        UpdateDerivativeValues(Series1->Ys(), SeriesLine0->Ys(), values);
        for (int i = 0; i < Series2->Count(); ++i)
            Series2->SetY(i, values[static_cast<std::size_t>(i)]);
        derivedVersion_ = baseVersion_;
        ++series2Version_;
    } else {
        IntegrateAbsorption();
    }
}

// ---------------------------------------------------------------- zoom

void TFDataProc::ZoomTBClick() {
    const bool down = ZoomTB->isChecked();
    ResultMarker.Active = !down;
    ResultMarker.PixelsPerPoint = 0;
    if (down)
        Zoom.ZoomOn(*DDst);
    else
        Zoom.ZoomOff();
    DDst->RepaintOverlay();
}

void TFDataProc::DDstZoom() {
    TChartAxis& bottom = DDst->BottomAxis();
    bottom.SetIncrement(NiceStep((bottom.Maximum() - bottom.Minimum()) * 0.25));
    ResultMarker.PixelsPerPoint = 0;
    SetDown(ZoomTB, false);
    ZoomTBClick();
}

void TFDataProc::UnZoomTBClick() {
    DDst->UndoZoom();
}

void TFDataProc::DDstUndoZoom() {
    TChartAxis& bottom = DDst->BottomAxis();
    bottom.SetIncrement((bottom.Maximum() - bottom.Minimum()) * 0.25);
    DDst->RightAxis().SetMinMax(-500, 500);
    DDst->RightAxis().SetIncrement(250);
    ResultMarker.PixelsPerPoint = 0;
}

TFDataProc::AxisRange TFDataProc::VerticalExpansion(double lo, double hi) {
    // A flat curve would give an axis of no height and a label step of 0,
    // which never ends a tick loop: show one unit either side of it.
    if (!(hi > lo) || !std::isfinite(hi - lo))
        return {lo - 1, lo + 1, 0.5};
    const double quarter = (hi - lo) * 0.25;
    const auto rounded = static_cast<double>(RoundHalfEven(quarter));
    return {lo, hi, rounded >= 1 ? rounded : quarter};
}

void TFDataProc::VerticalExpTBClick() {
    if (Series2->Count() == 0)
        return;
    const auto [lo, hi] = std::minmax_element(Series2->Ys().begin(), Series2->Ys().end());
    const AxisRange r = VerticalExpansion(*lo, *hi);
    DDst->RightAxis().SetMinMax(r.Minimum, r.Maximum);
    DDst->RightAxis().SetIncrement(r.Increment);
    ResultMarker.PixelsPerPoint = 0;
    DDst->RepaintNow();
}

// ---------------------------------------------------------------- measurement buttons

void TFDataProc::RunMomentHandler(QToolButton* button) {
    const bool derivative = button == M2DerivativeTB;
    if (momentIsG_)
        derivative ? GDerivativeTBClick() : GAbsorptionTBClick();
    else
        derivative ? M2DerivativeTBClick() : M2AbsorptionTBClick();
}

void TFDataProc::RunHandler(QToolButton* button) {
    if (button == M2DerivativeTB || button == M2AbsorptionTB)
        RunMomentHandler(button);
    else if (button == SDBTB)
        SDBTBClick();
    else if (button == HDBTB)
        HDBTBClick();
    else if (button == IntegralTB)
        IntegralTBClick();
}

void TFDataProc::ReleaseOthers(QToolButton* pressed, std::initializer_list<QToolButton*> group) {
    for (QToolButton* b : group) {
        if (b == pressed)
            continue;
        SetDown(b, false);
        RunHandler(b);
    }
}

void TFDataProc::MeasurementReleased(bool withMiddle) {
    M2CTBClick(nullptr);
    ResultMarker.HideReferences();
    M2LCTB->setEnabled(false);
    M2RCTB->setEnabled(false);
    if (withMiddle)
        M2MCTB->setEnabled(false);
}

void TFDataProc::SetReference(int slot, int index) {
    ResultMarker.References[slot] = static_cast<std::uint16_t>(std::clamp(index, 0, 65535));
}

int TFDataProc::ClampIndex(int index) const {
    return std::clamp(index, 0, std::max(0, Series2->Count() - 1));
}

void TFDataProc::PlaceMomentCursors() {
    const int first = Series2->FirstVisibleIndex();
    const int last = Series2->LastVisibleIndex();
    if (first < 0)
        return;
    const int centre = FindCentreIndex(Series1->Ys(), SeriesLine0->Ys());
    const MomentPlacement p = tavi::PlaceMomentCursors(Series2->Ys(), first, last, centre);
    SetReference(1, p.Slots.LC);
    SetReference(2, p.Slots.RC);
    SetReference(3, p.Slots.MC);
    CursorSlotCount = 3;
    ResultMarker.ReferenceCount = 3;
    ResultMarker.MoveTo(p.Index);
}

void TFDataProc::M2DerivativeTBClick() {
    if (M2DerivativeTB->isChecked()) {
        ReleaseOthers(M2DerivativeTB, {M2DerivativeTB, SDBTB});
        PlaceMomentCursors();
        for (QToolButton* b : {M2LCTB, M2MCTB, M2RCTB})
            b->setEnabled(true);
    } else {
        MeasurementReleased(true);
    }
}

void TFDataProc::M2AbsorptionTBClick() {
    if (M2AbsorptionTB->isChecked()) {
        ReleaseOthers(M2AbsorptionTB, {M2AbsorptionTB, HDBTB, IntegralTB});
        PlaceMomentCursors();
        for (QToolButton* b : {M2LCTB, M2MCTB, M2RCTB})
            b->setEnabled(true);
    } else {
        MeasurementReleased(true);
    }
}

void TFDataProc::GDerivativeTBClick() {
    if (!M2DerivativeTB->isChecked())
        return;
    ReleaseOthers(M2DerivativeTB, {M2DerivativeTB, SDBTB});
    ResultMarker.MoveTo(FindCentreIndex(Series1->Ys(), SeriesLine0->Ys()));
}

void TFDataProc::GAbsorptionTBClick() {
    if (!M2AbsorptionTB->isChecked())
        return;
    ReleaseOthers(M2AbsorptionTB, {M2AbsorptionTB, HDBTB, IntegralTB});
    ResultMarker.MoveTo(FindCentreIndex(Series1->Ys(), SeriesLine0->Ys()));
}

void TFDataProc::SDBTBClick() {
    if (SDBTB->isChecked()) {
        ReleaseOthers(SDBTB, {M2DerivativeTB, SDBTB});
        const Cursors c = LineWidthCursors(Series1->Ys());
        SetReference(1, c.LC);
        SetReference(2, c.RC);
        CursorSlotCount = 2;
        ResultMarker.ReferenceCount = 2;
        ResultMarker.Centre();
        M2LCTB->setEnabled(true);
        M2RCTB->setEnabled(true);
    } else {
        MeasurementReleased(false);
    }
}

void TFDataProc::HDBTBClick() {
    if (HDBTB->isChecked()) {
        ReleaseOthers(HDBTB, {M2AbsorptionTB, HDBTB, IntegralTB});
        const int top = IndexOfMaximum(Series2->Ys());
        SetReference(1, top);
        SetReference(2, top);
        halfHeightReported_ = false;
        ResultMarker.MoveTo(top);
        CursorSlotCount = 2;
        ResultMarker.ReferenceCount = 2;
        M2LCTB->setEnabled(true);
        M2RCTB->setEnabled(true);
    } else {
        MeasurementReleased(false);
    }
}

void TFDataProc::IntegralTBClick() {
    if (IntegralTB->isChecked()) {
        ReleaseOthers(IntegralTB, {M2AbsorptionTB, HDBTB, IntegralTB});
        const Cursors c = IntegralCursors(Series2->Count());
        SetReference(1, c.LC);
        SetReference(2, c.RC);
        CursorSlotCount = 2;
        ResultMarker.ReferenceCount = 2;
        ResultMarker.Centre();
        M2LCTB->setEnabled(true);
        M2RCTB->setEnabled(true);
    } else {
        MeasurementReleased(false);
        SeriesI->Clear();
    }
}

void TFDataProc::M2CTBClick(QObject* sender) {
    CursorButton which = CursorButton::Other;
    if (sender == M2LCTB)
        which = CursorButton::LC;
    else if (sender == M2MCTB)
        which = CursorButton::MC;
    else if (sender == M2RCTB)
        which = CursorButton::RC;
    bool lc = M2LCTB->isChecked();
    bool mc = M2MCTB->isChecked();
    bool rc = M2RCTB->isChecked();
    tavi::M2CTBClick(ResultMarker, which, lc, mc, rc, CursorSlotCount);
    SetDown(M2LCTB, lc);
    SetDown(M2MCTB, mc);
    SetDown(M2RCTB, rc);
}

// ---------------------------------------------------------------- values after each drawing

void TFDataProc::Series2AfterDrawValues() {
    if (Series2->Count() == 0)
        return;
    if (M2DerivativeTB->isChecked()) {
        if (momentIsG_)
            ShowGFactor();
        else
            ShowMoments(MomentKind::Derivative);
    }
    if (M2AbsorptionTB->isChecked()) {
        if (momentIsG_)
            ShowGFactor();
        else
            ShowMoments(MomentKind::Absorption);
    }
    if (SDBTB->isChecked())
        ShowLineWidth();
    if (IntegralTB->isChecked())
        ShowArea();
    if (HDBTB->isChecked()) {
        if (!M2LCTB->isChecked() && !M2RCTB->isChecked())
            FindHalfHeight();
        ShowLineWidth();
    }
}

void TFDataProc::ShowMoments(MomentKind kind) {
    int lc = ResultMarker.References[1];
    int rc = ResultMarker.References[2];
    int mc = ResultMarker.References[3];
    if (ResultMarker.SelectedReference != 0) {
        const int current = ResultMarker.CurrentIndex();
        if (M2MCTB->isChecked())
            mc = current;
        else if (M2LCTB->isChecked())
            lc = current;
        else
            rc = current;
    }
    const Moments m = ComputeMoments(kind, Series2->Xs(), Series2->Ys(), ClampIndex(lc),
                                     ClampIndex(rc), ClampIndex(mc), ModAmpValue);
    M2RVal->setText(Q(MomentText(m.M2R)));
    M2LVal->setText(Q(MomentText(m.M2L)));
    M2Val->setText(Q(MomentText(m.M2)));
    M4Val->setText(Q(FourthMomentText(m.M4)));
    M4Val4->show();
}

void TFDataProc::ShowLineWidth() {
    int lc = ResultMarker.References[1];
    int rc = ResultMarker.References[2];
    if (ResultMarker.SelectedReference != 0) {
        if (M2LCTB->isChecked())
            lc = ResultMarker.CurrentIndex();
        else
            rc = ResultMarker.CurrentIndex();
    }
    const double width = LineWidth(Series2->Xs(), ClampIndex(lc), ClampIndex(rc));
    DBVal->setText(Q(WidthText(width, FileUnitText().toStdString())));
}

void TFDataProc::FindHalfHeight() {
    const int first = Series2->FirstVisibleIndex();
    const int last = Series2->LastVisibleIndex();
    if (first < 0)
        return;
    const HalfHeightResult r = tavi::FindHalfHeight(Series2->Ys(), first, last);
    if (r.Found) {
        SetReference(1, r.LC);
        SetReference(2, r.RC);
        halfHeightReported_ = false;
        return;
    }
    // The search runs at every drawing: report a failure once for the same
    // curve, range and cursors, and never from inside the drawing.
    const HalfHeightKey key{series2Version_, first, last, ResultMarker.References[1],
                            ResultMarker.References[2]};
    if (halfHeightReported_ && key == halfHeightKey_)
        return;
    halfHeightReported_ = true;
    halfHeightKey_ = key;
    ShowHalfHeightError(r.Error);
}

void TFDataProc::ShowHalfHeightError(const std::string& text) {
    QTimer::singleShot(0, this, [this, text] {
        Dialogs().Message(this, Q(text), MsgIcon::Error, MsgButtons::Ok);
    });
}

void TFDataProc::ShowArea() {
    int c = ResultMarker.References[1];
    int d = ResultMarker.References[2];
    if (ResultMarker.SelectedReference != 0) {
        if (M2RCTB->isChecked())
            d = ResultMarker.CurrentIndex();
        else
            c = ResultMarker.CurrentIndex();
    }
    c = ClampIndex(c);
    d = ClampIndex(d);
    IntegratorSource src{Series2->Xs(), Series2->Ys(), {}, Series2->FirstVisibleIndex(),
                         Series2->LastVisibleIndex()};
    AreaIntegrator.Integrate(src, c, d, DDst->RightAxis().Minimum(), DDst->RightAxis().Maximum(),
                             outX_, outY_);
    // Refill the running integral only when it changed: refilling redraws the
    // chart, whose drawing calls in here again.
    const bool same = std::ranges::equal(outX_, SeriesI->Xs()) &&
                      std::ranges::equal(outY_, SeriesI->Ys());
    if (!same) {
        SeriesI->Clear();
        SeriesI->Reserve(static_cast<int>(outX_.size()));
        for (std::size_t k = 0; k < outX_.size(); ++k)
            SeriesI->AddXY(outX_[k], outY_[k], kProcIntegralColour);
    }
    const std::string unit = FileUnitText().toStdString();
    AIVal->setText(Q(AreaText(AreaIntegrator.Sum)));
    ILBVal->setText(Q(CursorXText(Series2->X(c), unit, true)));
    ILEVal->setText(Q(CursorXText(Series2->X(d), unit, false)));
}

void TFDataProc::ShowGFactor() {
    const int i = ClampIndex(ResultMarker.CurrentIndex());
    GVal->setText(Q(GFactorText(GFactor(Series2->X(i), FieldB0Value, FrequencyValue))));
}

} // namespace tavi
