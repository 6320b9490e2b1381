#pragma once

namespace tarvelin {

// Where a sound starts, in song seconds (the player's positions), and how
// much it is a voice starting: how far the voice band rises over what came
// before and holds there (see OnsetDetector), a ratio of energies: 4 is
// 6 dB, 100 is 20 dB. Drawn as ticks in the waveform; the timing help's
// rules read the timing curve instead (timingrules.h).
struct Onset {
    double time = 0;
    float strength = 0;
    friend bool operator==(const Onset &, const Onset &) = default;
};

} // namespace tarvelin
