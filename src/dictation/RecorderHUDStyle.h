#pragma once
// The two looks of the recorder panel ("ovra.mac.hudStyle") and where each one sits on a screen.
#include <QRect>
#include <QString>

enum class RecorderHUDStyle { bottom, notch };

namespace RecorderHUDStyles {
// A missing or unknown value means bottom.
RecorderHUDStyle fromRaw(const QString& raw);
QString rawValue(RecorderHUDStyle style);
QSize contentSize(RecorderHUDStyle style);
// Top-left corner of the panel: bottom is centred on the visible area, 84 px above its bottom
// edge; notch is centred on the whole screen and hangs from its top edge (bottom edge 46 px
// below it). Rectangles in Qt coordinates (y grows downwards).
QPoint origin(RecorderHUDStyle style, const QRect& screenFrame, const QRect& visibleArea);
} // namespace RecorderHUDStyles
