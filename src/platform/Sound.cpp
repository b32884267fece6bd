// SPDX-License-Identifier: GPL-3.0-or-later
// WAV playing with libsndfile and ALSA. The device is opened non-blocking and
// every wait is bounded and checks the stop flag, so a missing or stuck device
// never holds the UI thread for long.
#include "platform/Sound.h"

#include <alsa/asoundlib.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <sndfile.h>
#include <thread>
#include <vector>

namespace tavi {

namespace {

void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

struct SndFile {
    SNDFILE* file = nullptr;
    SF_INFO info{};
    explicit SndFile(const std::string& path) { file = sf_open(path.c_str(), SFM_READ, &info); }
    ~SndFile() {
        if (file)
            sf_close(file);
    }
};

struct Pcm {
    snd_pcm_t* pcm = nullptr;
    ~Pcm() {
        if (pcm) {
            snd_pcm_drop(pcm);
            snd_pcm_close(pcm);
        }
    }
};

// Plays the file once or until stopped. Returns quietly on any failure.
void Play(const std::string& path, bool loop, const std::atomic<bool>& stop) {
    SndFile wav(path);
    if (!wav.file || wav.info.channels <= 0 || wav.info.samplerate <= 0 || wav.info.frames <= 0)
        return;
    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(&SilentAlsaErrors); });
    Pcm out;
    if (snd_pcm_open(&out.pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        out.pcm = nullptr;
        return;
    }
    if (snd_pcm_set_params(out.pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(wav.info.channels),
                           static_cast<unsigned>(wav.info.samplerate), 1, 200000) < 0)
        return;

    const int channels = wav.info.channels;
    const sf_count_t chunk = 1024;
    std::vector<short> buffer(static_cast<std::size_t>(chunk * channels));
    for (;;) {
        sf_count_t frames = sf_readf_short(wav.file, buffer.data(), chunk);
        if (frames <= 0) {
            if (!loop || sf_seek(wav.file, 0, SEEK_SET) < 0)
                break;
            continue;
        }
        sf_count_t done = 0;
        int stalls = 0;
        while (done < frames) {
            if (stop)
                return;
            snd_pcm_sframes_t n = snd_pcm_writei(out.pcm, buffer.data() + done * channels,
                                                 static_cast<snd_pcm_uframes_t>(frames - done));
            if (n == -EAGAIN) {
                // A device that accepts nothing for two seconds is given up.
                if (snd_pcm_wait(out.pcm, 100) == 0 && ++stalls > 20)
                    return;
                continue;
            }
            if (n < 0) {
                if (snd_pcm_recover(out.pcm, static_cast<int>(n), 1) < 0)
                    return;
                continue;
            }
            stalls = 0;
            done += n;
        }
    }
    // Let the queued sound finish, bounded by its own length plus a margin.
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(out.pcm, &delay) < 0 || delay <= 0)
        return;
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(1000 * delay / wav.info.samplerate + 500);
    while (!stop && std::chrono::steady_clock::now() < deadline) {
        if (snd_pcm_delay(out.pcm, &delay) < 0 || delay <= 0)
            break;
        if (snd_pcm_state(out.pcm) != SND_PCM_STATE_RUNNING)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

class AlsaPlayer : public ISoundPlayer {
public:
    ~AlsaPlayer() override { Stop(); }

    void PlayAndWait(const std::string& file) override {
        Stop();
        Play(file, false, stop_);
    }
    void PlayOnce(const std::string& file) override { Start(file, false); }
    void PlayLoop(const std::string& file) override { Start(file, true); }
    void Stop() override {
        std::lock_guard lock(mutex_);
        stop_ = true;
        if (worker_.joinable())
            worker_.join();
        stop_ = false;
    }

private:
    void Start(const std::string& file, bool loop) {
        Stop();
        std::lock_guard lock(mutex_);
        worker_ = std::thread([this, file, loop] { Play(file, loop, stop_); });
    }

    std::mutex mutex_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
};

AlsaPlayer& RealPlayer() {
    static AlsaPlayer player;
    return player;
}

ISoundPlayer* installed = nullptr;

} // namespace

ISoundPlayer& Sound() {
    return installed ? *installed : RealPlayer();
}

void SetSound(ISoundPlayer* player) {
    installed = player;
}

} // namespace tavi
