#pragma once

#include <QRect>

namespace tarvelin {

// Design sizes are in twips (1/1440 inch). At 96 dpi 15 twips make a pixel.
int twipsToPixels(int twips, qreal dpi);
QRect twipsRect(int left, int top, int width, int height, qreal dpi);

} // namespace tarvelin
