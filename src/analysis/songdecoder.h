#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>

namespace tarvelin {

// The rate every song is analysed at. 22050 Hz keeps everything up to
// 11 kHz, well above the 200-4000 Hz band the onsets are found in and
// enough for a waveform to look like the song; it is half the work and half
// the peaks of 44.1 kHz, and exactly half of it, which is what most songs
// are, so their resampling is the cheapest there is.
inline constexpr int AnalysisRate = 22050;

struct DecodeSink {
    // The file is open; its container's guess at the length, 0 if none.
    std::function<void(double estimatedSeconds)> opened;
    // The next mono samples at AnalysisRate, in order from song time 0.
    std::function<void(const float *samples, std::size_t count)> samples;
    // The same stretch as the left and right channels, interleaved (count
    // pairs), just before samples() gets its mean; optional. A mono song
    // has both alike; a layout of more than two channels has its mean in
    // both (so nothing in it reads as off centre).
    std::function<void(const float *leftRight, std::size_t count)> stereo;
};

struct DecodeResult {
    enum class Outcome { Finished, Failed, Cancelled };
    Outcome outcome = Outcome::Failed;
    QString error;              // why it failed, for a log; empty otherwise
    std::int64_t samples = 0;   // how many went to the sink
};

// Decodes the first audio stream of a file with FFmpeg, from its first
// packet to its last (no seeks), to mono (the channels' mean) at
// AnalysisRate (and to stereo for DecodeSink::stereo), and hands the samples to the sink as they come.
//
// Sample n sits at song time n / AnalysisRate, where song time is what the
// player reports: like mpv, the container's start time is taken as 0 and
// every decoded frame is placed at its own timestamp after the decoder has
// dropped the encoder's delay. So a file whose first frame is stamped after
// the start (ffmpeg's own wma files: 86 ms, 43 ms more than their priming)
// begins with silence, and the sound sits where the player's position will
// be when it is heard. A frame stamped more than 100 ms away from where the
// frames before it end moves the rest there (a gap becomes silence, an
// overlap is dropped); smaller differences are timestamp jitter and the
// samples run on.
//
// Runs on the caller's thread until the end, a failure, or a stop request
// (looked at between packets and while opening the file).
DecodeResult decodeSong(const QString &path, std::stop_token stop, const DecodeSink &sink);

} // namespace tarvelin
