// SPDX-License-Identifier: GPL-3.0-or-later
// The processing window's readouts against AnalyseSpectrum (what tavi-proc
// prints) on generated files, for each view and measurement button: the two
// must not drift apart.
#include "params/NumFormat.h"
#include "platform/Chart.h"
#include "processing/ProcAnalysis.h"
#include "processing/SpectrumFiles.h"
#include "processing/UDataProc.h"
#include "processing/UM2.h"
#include "support/FakeDialogs.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace tavi {
namespace {

using test::LineShape;

struct Case {
    const char* Name;
    int Points;
    bool Esr;
    LineShape Line;
};

const Case kCases[] = {
    {"Plain", 1001, false, {.HalfWidth = 4}},
    {"NoisyDrift",
     4096,
     false,
     {.Centre = -5, .HalfWidth = 8, .Peak = -320, .Drift = 60, .Noise = 4}},
    {"Clipped", 3000, false, {.HalfWidth = 2, .Peak = 900, .Noise = 1, .Seed = 5}},
    {"NoLine", 801, false, {.Peak = 0, .Drift = 3, .Noise = 1, .Seed = 6}},
    {"LargeNarrow", 65535, false, {.Centre = 3, .HalfWidth = 1.5, .Drift = 20, .Noise = 2}},
    {"Esr", 2001, true, {.Centre = 2, .HalfWidth = 3, .Noise = 1}},
};

class WindowAnalysis : public ::testing::TestWithParam<Case> {
protected:
    test::ScopedFakeDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<TFDataProc> w;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetNumberSeparators({'.', ' '});
        w = std::make_unique<TFDataProc>();
        w->show();
        QCoreApplication::processEvents();
    }
    void Press(QToolButton* b) {
        b->click();
        w->DSrc->RepaintNow();
        w->DDst->RepaintNow();
        QCoreApplication::processEvents();
    }
    static std::string Text(const QLabel* l) { return l->text().toStdString(); }
    void ExpectMoments(const Moments& m) {
        EXPECT_EQ(Text(w->M2Val), MomentText(m.M2));
        EXPECT_EQ(Text(w->M2LVal), MomentText(m.M2L));
        EXPECT_EQ(Text(w->M2RVal), MomentText(m.M2R));
        EXPECT_EQ(Text(w->M4Val), FourthMomentText(m.M4));
    }
    void ExpectCursors(const Cursors& c, bool withMiddle) {
        const MarkerReferences& r = w->ResultMarker.References;
        EXPECT_EQ(r[1], c.LC);
        EXPECT_EQ(r[2], c.RC);
        if (withMiddle) {
            EXPECT_EQ(r[3], c.MC);
        }
    }
};

TEST_P(WindowAnalysis, EveryReadoutEqualsTheBatchAnalysis) {
    const Case& c = GetParam();
    const std::string path = dir.filePath("s.dcw").toStdString();
    ASSERT_TRUE(test::WriteSpectrum(path, c.Points,
                                    c.Esr ? test::EsrSettings() : test::NmrSettings(), c.Line));
    LoadedDataFile file;
    std::string error;
    ASSERT_TRUE(ReadDataFile(path, file, &error)) << error;
    const SpectrumAnalysis a = AnalyseSpectrum(file);
    dialogs.fake.fileAnswers.push_back(QString::fromStdString(path));
    w->FOpenTB->click();
    const std::string unit = w->FileUnitText().toStdString();

    Press(w->FDerivativeTB);
    Press(w->M2DerivativeTB);
    if (c.Esr) {
        EXPECT_EQ(Text(w->GVal), GFactorText(a.G));
        EXPECT_EQ(w->ResultMarker.PointIndex, a.GIndex);
    } else {
        ExpectMoments(a.Derivative.Moment);
        ExpectCursors(a.Derivative.MomentCursors, true);
    }
    Press(w->SDBTB);
    EXPECT_EQ(Text(w->DBVal), WidthText(a.Derivative.SDB, unit));
    ExpectCursors(a.Derivative.SDBCursors, false);

    Press(w->AbsorptionTB);
    Press(w->M2AbsorptionTB);
    if (!c.Esr) {
        ExpectMoments(a.Absorption.Moment);
        ExpectCursors(a.Absorption.MomentCursors, true);
    }
    Press(w->HDBTB);
    if (a.Absorption.HDBFound) {
        EXPECT_EQ(Text(w->DBVal), WidthText(a.Absorption.HDB, unit));
        ExpectCursors(a.Absorption.HDBCursors, false);
    } else {
        ASSERT_FALSE(dialogs.fake.messages.empty());
        EXPECT_EQ(dialogs.fake.messages.back().text.toStdString(), a.Absorption.HDBError);
    }
    Press(w->IntegralTB);
    EXPECT_EQ(Text(w->AIVal), AreaText(a.Absorption.AI));
    ExpectCursors(a.Absorption.AICursors, false);
}

INSTANTIATE_TEST_SUITE_P(GeneratedFiles, WindowAnalysis, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace tavi
