#pragma once

#include <QPixmap>
#include <QWidget>

// The window's client area: its picture drawn unscaled from the top-left corner over the
// window's background colour.
class PictureSurface : public QWidget {
    Q_OBJECT

public:
    explicit PictureSurface(QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    QPixmap picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
};
