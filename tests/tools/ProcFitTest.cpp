// SPDX-License-Identifier: GPL-3.0-or-later
// tavi-proc's analysis options: the fields, the untouched output without
// them, and failures that set the exit status.
#include "analysis/SyntheticLine.h"
#include "setup/FileTestUtil.h"
#include "tools/ToolRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using tavi::test::RunTool;
using tavi::test::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// A noisy drifting Lorentzian as the acquisition saves it: sums of 16 passes.
void WriteSpectrum(const std::string& path, double area, const std::string& gain = "60") {
    tavi::test::SynthOptions o;
    o.Lines = {tavi::test::TrueLine{tavi::test::Shape::Lorentzian, 1.5, 1.0, area}};
    o.Points = 1000;
    o.Drift[0] = 3;
    o.Drift[1] = 0.1;
    o.NoiseRms = 0.5;
    ASSERT_TRUE(tavi::test::WriteSpectrumFile(path, tavi::test::Synthesize(o), 16, gain));
}

tavi::test::ToolRun Proc(const TempDir& dir, const std::string& args) {
    return RunTool(TAVI_PROC_PATH, dir, args);
}

TEST(ProcAnalysis, WithoutOptionsTheLineIsUnchanged) {
    TempDir dir;
    const std::string f = dir.File("a.dcw");
    WriteSpectrum(f, 40);
    const auto plain = Proc(dir, "--json '" + f + "'");
    const auto with = Proc(dir, "--json --integral -5:5 '" + f + "'");
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(with.status, 0) << with.err;
    EXPECT_THAT(plain.out, Not(HasSubstr("analysis")));
    // The analysis goes at the end; everything before it is the plain line.
    EXPECT_EQ(with.out.substr(0, plain.out.size() - 2), plain.out.substr(0, plain.out.size() - 2));
    EXPECT_THAT(with.out, HasSubstr(",\"analysis\":{\"baseline\":{\"order\":1,"));
    EXPECT_THAT(with.out, Not(HasSubstr("\"fit\"")));
    EXPECT_THAT(with.out, HasSubstr("\"integral\":{\"from\":-5,\"to\":5,"));
}

TEST(ProcAnalysis, FitGivesEveryFieldAndTheReferenceRatio) {
    TempDir dir;
    const std::string sample = dir.File("s.dcw"), ref = dir.File("r.dcw");
    WriteSpectrum(sample, 60, "30"); // three times the area per unit gain
    WriteSpectrum(ref, 40, "60");
    const auto r = Proc(dir, "--json --fit voigt --order 1 --baseline -10:-7,7:10 --reference '" +
                                 ref + "' '" + sample + "'");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    for (const char* field :
         {"\"regions\":[[-10,-7],[7,10]]", "\"coefficients\":[", "\"noiseRms\":", "\"noisePoints\":300",
          "\"model\":\"voigt\"", "\"modulation\":false", "\"converged\":true", "\"chi2red\":",
          "\"offset\":null", "\"error\":null", "\"centreErr\":", "\"widthPPErr\":", "\"fwhm\":",
          "\"amplitude\":", "\"doubleIntegral\":", "\"gErr\":", "\"widthL\":", "\"widthGErr\":",
          "\"normalisedErr\":", "\"ratioErr\":", "\"M4overM2sq\":"})
        EXPECT_THAT(r.out, HasSubstr(field)) << field;
    const auto at = r.out.find("\"ratio\":");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NEAR(std::stod(r.out.substr(at + 8)), 3.0, 0.3);
}

struct Failure {
    const char* Name;
    const char* Args; // %s is the sample's path
    int Status;
    const char* Message;
};

class ProcFailures : public ::testing::TestWithParam<Failure> {};

TEST_P(ProcFailures, SayWhyAndSetTheStatus) {
    TempDir dir;
    const std::string f = dir.File("a.dcw");
    WriteSpectrum(f, 40);
    std::string args = GetParam().Args;
    args.replace(args.find("%s"), 2, "'" + f + "'");
    const auto r = Proc(dir, args);
    EXPECT_EQ(r.status, GetParam().Status);
    EXPECT_THAT(r.out + r.err, HasSubstr(GetParam().Message));
}

INSTANTIATE_TEST_SUITE_P(
    All, ProcFailures,
    ::testing::Values(
        Failure{"ReferenceMissing", "--json --reference /nonexistent.dcw %s", 1,
                "The reference file failed to load"},
        Failure{"RegionWithoutPoints", "--json --baseline 30:40 %s", 1, "covers no point"},
        Failure{"OrderTooHigh", "--json --order 3 --baseline 0:0.02 %s", 1, "needs at least 5"},
        Failure{"BadModel", "--json --fit cauchy %s", 2, "lorentzian, gaussian or voigt"},
        Failure{"LinesWithoutFit", "--json --lines 2 %s", 2, "need --fit"},
        Failure{"BadInterval", "--json --integral 1:nan %s", 2, "--integral takes X1:X2"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
