#pragma once

#include <QAbstractButton>
#include <QPixmap>

// An image control used as a button: shows its picture unstretched, takes the picture's size,
// raises mouseDown/mouseUp for any mouse button and clicked() after the mouseUp of a left-button
// press that was also released on it. The second press of a double click is no press: a double
// click is one click. A button to assistive technology, with the accessible name
// it is given, though it draws no text.
class PictureButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit PictureButton(QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    QPixmap picture() const { return m_picture; }
    QSize sizeHint() const override { return m_picture.size(); }

signals:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
};
