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
    setText(text);
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
    const int width = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + 4;
    int left = m_centreX - width / 2;
    if (parentWidget()) {
        const int room = parentWidget()->width();
        left = width >= room ? 0 : std::clamp(left, 0, room - width);
    }
    setGeometry(left, y(), width, height());
}
