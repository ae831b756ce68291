#pragma once

#include <QRect>
#include <cmath>

// The window was laid out in twips; the screen is drawn at 96 dpi, where one
// pixel is 15 twips.
constexpr int TwipsPerPixel = 15;

inline int twips(int t)
{
    return static_cast<int>(std::lround(t / static_cast<double>(TwipsPerPixel)));
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

inline int toTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}
