// SPDX-License-Identifier: GPL-3.0-or-later
// Playing the WAV files of the experiment events. A missing file or a machine
// without an audio device plays nothing and never blocks for long.
#pragma once

#include <string>

namespace tavi {

class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    // Plays to the end, then returns (stops a sound already playing first).
    virtual void PlayAndWait(const std::string& file) = 0;
    // Starts playing once and returns at once.
    virtual void PlayOnce(const std::string& file) = 0;
    // Starts an endless loop and returns at once.
    virtual void PlayLoop(const std::string& file) = 0;
    virtual void Stop() = 0;
};

ISoundPlayer& Sound();
void SetSound(ISoundPlayer* player); // nullptr restores the ALSA player

} // namespace tavi
