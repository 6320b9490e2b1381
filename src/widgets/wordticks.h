#pragma once

#include "core/lrc.h"

#include <QString>

#include <functional>

class QPainter;
class QPalette;

namespace tarvelin {

// The word tags of one line as ticks under its marker in the waveform: a
// short stroke at each unit's time from `top` down `height` pixels, with the
// unit's first character beside it; the end tag a plain stroke. Confirmed
// ticks in the highlight colour, proposed ones (自动逐字, not yet accepted)
// grey.
void paintWordTicks(QPainter &painter, const QString &lineText, const LrcLine &parsed,
                    const std::function<double(double)> &xAt,
                    double top, double height, const QPalette &palette,
                    const std::function<bool(int index)> &confirmed);

} // namespace tarvelin
