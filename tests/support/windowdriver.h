#pragma once

#include "app/captionlabel.h"
#include "app/picturebutton.h"
#include "app/picturesurface.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QSlider>
#include <QTest>

// The window as a test sees it: its controls found by their object names, its handlers reached
// the way the user reaches them, a button's click or a menu item's trigger. The names are the
// window's own, so a test reads as the handlers do.
class WindowDriver {
public:
    explicit WindowDriver(QMainWindow* window)
        : m_window(window)
    {
        surface = find<PictureSurface>("surface");
        Slider1 = find<QSlider>("Slider1");
        cmdPlay = find<PictureButton>("cmdPlay");
        cmdPause = find<PictureButton>("cmdPause");
        cmdStop = find<PictureButton>("cmdStop");
        lblname = find<CaptionLabel>("lblname");
        mnuFile = find<QMenu>("mnuFile");
        mnuSong = find<QMenu>("mnuSong");
        mnuSirrel = find<QMenu>("mnuSirrel");
        mnuTemple = find<QMenu>("mnuTemple");
        mnuTheme = find<QMenu>("mnuTheme");
        mitopen = find<QAction>("mitopen");
        mitRandom = find<QAction>("mitRandom");
        mitLoop = find<QAction>("mitLoop");
        mitplayall = find<QAction>("mitplayall");
        mitexit = find<QAction>("mitexit");
        mitSong = items("mitSong");
        mitSirrel = items("mitSirrel");
        mitTemple = items("mitTemple");
        mitTheme = items("mitTheme");
    }

    QMainWindow* window() const { return m_window; }

    void Form_Load() { QMetaObject::invokeMethod(m_window, "Form_Load", Qt::DirectConnection); }
    qint16 skinNumber() const { return qint16(m_window->property("skinNumber").toInt()); }
    QString currentSongStem() const { return m_window->property("currentSongStem").toString(); }

    void cmdPlay_Click() { emit cmdPlay->clicked(); }
    void cmdPause_Click() { emit cmdPause->clicked(); }
    void cmdStop_Click() { emit cmdStop->clicked(); }
    void mitopen_Click() { mitopen->trigger(); }
    void mitRandom_Click() { mitRandom->trigger(); }
    void mitLoop_Click() { mitLoop->trigger(); }
    void mitplayall_Click() { mitplayall->trigger(); }
    void mitexit_Click() { mitexit->trigger(); }
    void mitSong_Click(qint16 Index) { chooseItem(mitSong, "mitSong_Click", Index); }
    void mitSirrel_Click(qint16 Index) { chooseItem(mitSirrel, "mitSirrel_Click", Index); }
    void mitTemple_Click(qint16 Index) { chooseItem(mitTemple, "mitTemple_Click", Index); }
    void mitTheme_Click(qint16 Index) { chooseItem(mitTheme, "mitTheme_Click", Index); }

    // The mouse on a control as the window system sends it, through the window: a double click is
    // press, release, double click, release.
    void click(QWidget* control) { mouse(control, false); }
    void doubleClick(QWidget* control) { mouse(control, true); }

    PictureSurface* surface = nullptr;
    QSlider* Slider1 = nullptr;
    PictureButton* cmdPlay = nullptr;
    PictureButton* cmdPause = nullptr;
    PictureButton* cmdStop = nullptr;
    CaptionLabel* lblname = nullptr;
    QMenu* mnuFile = nullptr;
    QMenu* mnuSong = nullptr;
    QMenu* mnuSirrel = nullptr;
    QMenu* mnuTemple = nullptr;
    QMenu* mnuTheme = nullptr;
    QAction* mitopen = nullptr;
    QAction* mitRandom = nullptr;
    QAction* mitLoop = nullptr;
    QAction* mitplayall = nullptr;
    QAction* mitexit = nullptr;
    QList<QAction*> mitSong;
    QList<QAction*> mitSirrel;
    QList<QAction*> mitTemple;
    QList<QAction*> mitTheme;

private:
    void mouse(QWidget* control, bool twice)
    {
        const QPoint at = control->mapTo(m_window, control->rect().center());
        if (twice)
            QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, {}, at);
        else
            QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {}, at);
    }

    template <typename T> T* find(const char* name) const
    {
        T* found = m_window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("The window has no control named %s", name);
        return found;
    }

    QList<QAction*> items(const char* prefix) const
    {
        QList<QAction*> found;
        while (QAction* item = m_window->findChild<QAction*>(
                   QStringLiteral("%1_%2").arg(QLatin1String(prefix)).arg(found.size())))
            found << item;
        return found;
    }

    // An item's trigger, as a click on it. A greyed-out item (Hollow Weald) or an index no item
    // has cannot be clicked: those reach the handler by its name, as the random choice would.
    void chooseItem(const QList<QAction*>& items, const char* handler, qint16 Index)
    {
        if (Index >= 0 && Index < items.size() && items[Index]->isEnabled())
            items[Index]->trigger();
        else
            QMetaObject::invokeMethod(
                m_window, handler, Qt::DirectConnection, Q_ARG(qint16, Index));
    }

    QMainWindow* m_window;
};
