#include "RecorderHUDStyle.h"

namespace RecorderHUDStyles {

RecorderHUDStyle fromRaw(const QString& raw)
{
    return raw == QLatin1String("notch") ? RecorderHUDStyle::notch : RecorderHUDStyle::bottom;
}

QString rawValue(RecorderHUDStyle style)
{
    return style == RecorderHUDStyle::notch ? QStringLiteral("notch") : QStringLiteral("bottom");
}

QSize contentSize(RecorderHUDStyle style)
{
    return style == RecorderHUDStyle::notch ? QSize(300, 44) : QSize(260, 64);
}

QPoint origin(RecorderHUDStyle style, const QRect& screenFrame, const QRect& visibleArea)
{
    const QSize size = contentSize(style);
    if (style == RecorderHUDStyle::notch) {
        const int x = screenFrame.x() + (screenFrame.width() - size.width()) / 2;
        return {x, screenFrame.y() + 46 - size.height()};
    }
    const int x = visibleArea.x() + (visibleArea.width() - size.width()) / 2;
    // QRect::bottom() is the last row inside; the edge is one past it.
    const int bottomEdge = visibleArea.y() + visibleArea.height();
    return {x, bottomEdge - 84 - size.height()};
}

} // namespace RecorderHUDStyles
