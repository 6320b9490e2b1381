#include "window/twips.h"

#include <cmath>

namespace tarvelin {

int twipsToPixels(int twips, qreal dpi)
{
    return int(std::lround(twips * dpi / 1440.0));
}

QRect twipsRect(int left, int top, int width, int height, qreal dpi)
{
    return QRect(twipsToPixels(left, dpi), twipsToPixels(top, dpi), twipsToPixels(width, dpi),
                 twipsToPixels(height, dpi));
}

} // namespace tarvelin
