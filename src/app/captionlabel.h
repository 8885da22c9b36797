#pragma once

#include <QLabel>

// The song label: transparent, centred text whose width follows the text. The label keeps its
// centre when the text changes and stays inside its parent as long as the text fits there; a
// title wider than the window ends in an ellipsis, with the whole caption as its tooltip, rather
// than being cut off mid-word at the window's edge.
class CaptionLabel : public QLabel {
    Q_OBJECT

public:
    CaptionLabel(int centreX, QWidget* parent);

    void setCaption(const QString& text);
    QString caption() const { return m_caption; }
    void setTop(int pixels);
    void setForeColor(const QColor& color);

private:
    void fitToText();

    int m_centreX;
    QString m_caption;
};
