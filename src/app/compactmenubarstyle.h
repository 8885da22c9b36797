#pragma once

#include <QProxyStyle>

// Narrows the padding around menu-bar titles so that all five menus fit the window's fixed
// 340-pixel width instead of hiding the last one behind an extension button.
class CompactMenuBarStyle : public QProxyStyle {
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    static constexpr int titlePadding = 5; // pixels on each side of a menu title

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
        const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
        const QWidget* widget = nullptr) const override;
};
