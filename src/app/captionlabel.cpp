#include "app/captionlabel.h"

#include <algorithm>

CaptionLabel::CaptionLabel(int centreX, QWidget* parent)
    : QLabel(parent)
    , m_centreX(centreX)
{
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setTextFormat(Qt::PlainText);
}

void CaptionLabel::setCaption(const QString& text)
{
    m_caption = text;
    fitToText();
}

void CaptionLabel::setTop(int pixels)
{
    move(x(), pixels);
}

void CaptionLabel::setForeColor(const QColor& color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
}

void CaptionLabel::fitToText()
{
    constexpr int margin = 4;
    const int room = parentWidget() ? parentWidget()->width() : QWIDGETSIZE_MAX;
    const QString shown = fontMetrics().elidedText(m_caption, Qt::ElideRight, room - margin);
    setText(shown);
    setToolTip(shown == m_caption ? QString() : m_caption);
    const int width = shown.isEmpty() ? 0 : fontMetrics().horizontalAdvance(shown) + margin;
    const int left = std::clamp(m_centreX - width / 2, 0, std::max(0, room - width));
    setGeometry(left, y(), width, height());
}
