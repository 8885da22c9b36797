#include "app/picturebutton.h"

#include <QMouseEvent>
#include <QPainter>

PictureButton::PictureButton(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoSystemBackground);
}

void PictureButton::setPicture(const QPixmap& picture)
{
    m_picture = picture;
    if (!picture.isNull())
        resize(picture.size());
    update();
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

void PictureButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_leftPressedHere = true;
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = event->button() == Qt::LeftButton && m_leftPressedHere
        && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_leftPressedHere = false;
    emit mouseUp(event->button(), event->modifiers(), event->position().toPoint());
    if (click)
        emit clicked();
}
