// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Sound.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <vector>

namespace tavi {
namespace {

class RecordingPlayer : public ISoundPlayer {
public:
    std::vector<std::string> calls;
    void PlayAndWait(const std::string& f) override { calls.push_back("wait " + f); }
    void PlayOnce(const std::string& f) override { calls.push_back("once " + f); }
    void PlayLoop(const std::string& f) override { calls.push_back("loop " + f); }
    void Stop() override { calls.push_back("stop"); }
};

TEST(SoundTest, AnInstalledPlayerTakesOverUntilRemoved) {
    ISoundPlayer* real = &Sound();
    RecordingPlayer fake;
    SetSound(&fake);
    Sound().PlayOnce("a.wav");
    Sound().Stop();
    SetSound(nullptr);
    EXPECT_EQ(&Sound(), real);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"once a.wav", "stop"}));
}

TEST(SoundTest, MissingOrUnreadableFilesPlayNothingAndReturn) {
    QTemporaryDir dir;
    std::string missing = dir.filePath("none.wav").toStdString();
    Sound().PlayAndWait(missing);
    Sound().PlayAndWait("");
    Sound().PlayOnce(missing);
    Sound().PlayLoop(missing);
    Sound().Stop();
    std::string text = dir.filePath("text.wav").toStdString();
    FILE* f = std::fopen(text.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("not a sound", f);
    std::fclose(f);
    Sound().PlayAndWait(text);
    Sound().PlayLoop(text);
    Sound().Stop();
}

TEST(SoundTest, AShortSoundPlaysToItsEndOrNotAtAllWithoutADevice) {
    QTemporaryDir dir;
    std::string path = dir.filePath("beep.wav").toStdString();
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr);
    std::vector<short> samples(400);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(8000 * std::sin(i * 0.3));
    sf_write_short(out, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(out);
    Sound().PlayAndWait(path);
    Sound().PlayLoop(path); // a looping sound ends with Stop
    Sound().Stop();
    Sound().PlayOnce(path);
    Sound().PlayOnce(path); // replaces the first
    Sound().Stop();
}

} // namespace
} // namespace tavi
