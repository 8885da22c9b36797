#pragma once

#include <QLabel>

// The song label: transparent, centred text whose width follows the text. The label keeps its
// centre when the text changes, and stays inside its parent as long as the text fits there, so
// a long title is not cut at the window's edge.
class CaptionLabel : public QLabel {
    Q_OBJECT

public:
    CaptionLabel(int centreX, QWidget* parent);

    void setCaption(const QString& text);
    QString caption() const { return text(); }
    void setTop(int pixels);
    void setForeColor(const QColor& color);

private:
    void fitToText();

    int m_centreX;
};
