#include "app/compactmenubarstyle.h"

#include <QStyleOptionMenuItem>

QSize CompactMenuBarStyle::sizeFromContents(
    ContentsType type, const QStyleOption* option, const QSize& size, const QWidget* widget) const
{
    const QSize natural = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type != CT_MenuBarItem)
        return natural;
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (!item)
        return natural;
    const int textWidth
        = item->fontMetrics.horizontalAdvance(QString(item->text).remove(QLatin1Char('&')));
    return QSize(std::min(natural.width(), textWidth + 2 * titlePadding), natural.height());
}

int CompactMenuBarStyle::pixelMetric(
    PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_MenuBarItemSpacing:
    case PM_MenuBarHMargin:
        return 0;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}
