#include "app/picturesurface.h"

#include <QPainter>

PictureSurface::PictureSurface(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
}

void PictureSurface::setPicture(const QPixmap& picture)
{
    m_picture = picture;
    update();
}

void PictureSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}
