#include "app/captionlabel.h"
#include "app/picturebutton.h"
#include "testwait.h"
#include "windowfixture.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void freshWindowIsQuietAndUnmarked();
    void geometryIsFixedAndControlsSitInPlace();
    void onlyTheSliderTakesFocus();
    void labelUsesTheNarrowFontAndTooltipColour();
    void labelKeepsEveryTitleInsideTheWindow();
    void facesAreAskedForByNameAndInstalled_data();
    void facesAreAskedForByNameAndInstalled();
    void menuTreeHasCaptionsKeysAndShortcuts();
    void everyTopLevelMenuFitsTheBar();
    void everyControlAnswersToItsName();
    void songMenusAreIndexedArrays_data();
    void songMenusAreIndexedArrays();
    void marksAreLeftToTheHandler_data();
    void marksAreLeftToTheHandler();
    void shortcutsWorkWhileAMenuIsOpen_data();
    void shortcutsWorkWhileAMenuIsOpen();
    void exitSendsNothingAndEndsTheEventLoop();
    void closingSendsOneClose();
    void pictureButtonClicksOnlyWhenReleasedOnIt();
    void aDoubleClickIsOneClick_data();
    void aDoubleClickIsOneClick();
};

void TestWindow::freshWindowIsQuietAndUnmarked()
{
    WindowFixture w;
    QCOMPARE(w.window->windowTitle(), QStringLiteral("Lumora - Music Player"));
    QCOMPARE(w->lblname->caption(), QString());
    QCOMPARE(w->skinNumber(), qint16(0));
    QCOMPARE(w->currentSongStem(), QString());
    for (QAction* action : w.window->findChildren<QAction*>())
        QVERIFY2(!action->isChecked(), qPrintable(action->text()));
    QVERIFY(w.media.operations.isEmpty());
}

void TestWindow::geometryIsFixedAndControlsSitInPlace()
{
    WindowFixture w;
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    QCOMPARE(w.window->centralWidget()->size(), QSize(340, 278));
    QCOMPARE(w.window->minimumSize(), w.window->maximumSize());
    QVERIFY(!(w.window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.window->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(w->Slider1->geometry(), QRect(32, 232, 273, 25));
    QCOMPARE(w->Slider1->orientation(), Qt::Horizontal);
    QCOMPARE(w->cmdPlay->geometry(), QRect(16, 128, 100, 60));
    QCOMPARE(w->cmdPause->geometry(), QRect(120, 128, 100, 60));
    QCOMPARE(w->cmdStop->geometry(), QRect(224, 128, 100, 60));
    QCOMPARE(w->lblname->y(), 24);
    // Created in order: slider, Stop, Pause, Play, label; later ones lie on top.
    const QObjectList children = w.window->centralWidget()->children();
    QCOMPARE(children.indexOf(w->Slider1), 0);
    QVERIFY(children.indexOf(w->cmdStop) < children.indexOf(w->cmdPause));
    QVERIFY(children.indexOf(w->cmdPause) < children.indexOf(w->cmdPlay));
    QVERIFY(children.indexOf(w->cmdPlay) < children.indexOf(w->lblname));
    // The media control is no widget at all, so it can never show.
    QVERIFY(!qobject_cast<QWidget*>(static_cast<QObject*>(&w.media)));
}

void TestWindow::onlyTheSliderTakesFocus()
{
    WindowFixture w;
    const QList<QWidget*> controls { w->lblname, w->cmdPlay, w->cmdPause, w->cmdStop };
    for (QWidget* control : controls)
        QCOMPARE(control->focusPolicy(), Qt::NoFocus);
    QVERIFY(w->Slider1->focusPolicy() & Qt::TabFocus);
}

void TestWindow::labelUsesTheNarrowFontAndTooltipColour()
{
    WindowFixture w;
    QCOMPARE(w->lblname->font().family(), QStringLiteral("Arial Narrow"));
    QCOMPARE(w->lblname->font().pointSizeF(), 15.75);
    QVERIFY(!w->lblname->font().bold() && !w->lblname->font().italic());
    QCOMPARE(w->lblname->palette().color(QPalette::WindowText),
        QApplication::palette().color(QPalette::ToolTipBase));
    QCOMPARE(w->lblname->alignment(), Qt::AlignCenter);
    QCOMPARE(w.window->centralWidget()->palette().color(QPalette::Window),
        QApplication::palette("QMenuBar").color(QPalette::Window));
}

// The label's and the menus' faces are asked for by name and drawn as asked: with only a few
// fonts installed, fontconfig's first match for the desktop's default can be monospaced. The
// faces come from the packages the player depends on (fonts-liberation, fonts-dejavu-core).
void TestWindow::facesAreAskedForByNameAndInstalled_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("face");
    QTest::newRow("song label") << "lblname"
                                << "Liberation Sans Narrow";
    QTest::newRow("menu bar") << "menuBar"
                              << "DejaVu Sans";
    QTest::newRow("File menu") << "mnuFile"
                               << "DejaVu Sans";
    QTest::newRow("Themes menu") << "mnuTheme"
                                 << "DejaVu Sans";
}

void TestWindow::facesAreAskedForByNameAndInstalled()
{
    QFETCH(QString, control);
    QFETCH(QString, face);
    WindowFixture w;
    QWidget* widget
        = control == "menuBar" ? w.window->menuBar() : w.window->findChild<QWidget*>(control);
    QVERIFY(widget);
    QVERIFY2(
        widget->font().families().contains(face), qPrintable(widget->font().families().join(", ")));
    const QFontInfo drawn(widget->font());
    QCOMPARE(drawn.family(), face);
    QVERIFY(!drawn.fixedPitch());
}

// Long titles end in an ellipsis inside the window, with the whole title as tooltip; short ones
// sit centred where the label stands.
void TestWindow::labelKeepsEveryTitleInsideTheWindow()
{
    WindowFixture w;
    int elided = 0;
    for (const CatalogueRow& row : Catalogue::rows()) {
        const QString title = QString::fromUtf8(row.labelText);
        w->lblname->setCaption(title);
        QCOMPARE(w->lblname->caption(), title);
        const QRect place = w->lblname->geometry();
        QVERIFY2(place.left() >= 0 && place.right() < 340, row.stem);
        QVERIFY2(w->lblname->fontMetrics().horizontalAdvance(w->lblname->text()) <= place.width(),
            row.stem);
        if (w->lblname->text() != title) {
            ++elided;
            QCOMPARE(w->lblname->toolTip(), title);
        } else {
            QVERIFY(w->lblname->toolTip().isEmpty());
        }
    }
    QVERIFY(elided < 5);
    w->lblname->setCaption(QStringLiteral("Current Song: Quayside"));
    QVERIFY(qAbs(w->lblname->geometry().center().x() - 164) <= 1);
}

void TestWindow::menuTreeHasCaptionsKeysAndShortcuts()
{
    WindowFixture w;
    QStringList titles;
    for (QAction* top : w.window->menuBar()->actions())
        titles << top->text();
    QCOMPARE(titles,
        QStringList({ "File", "Location Songs", "Sirrel Songs", "Temple Songs", "Themes" }));
    QStringList items, keys;
    for (QAction* item : w->mnuFile->actions()) {
        QVERIFY(!item->isSeparator());
        items << item->text();
        keys << item->shortcut().toString();
    }
    QCOMPARE(items, QStringList({ "&Open", "Choose &Random Song", "&Loop", "Pla&y All", "E&xit" }));
    QCOMPARE(keys, QStringList({ "Ctrl+O", "Ctrl+R", "Ctrl+L", "Ctrl+Y", "Ctrl+X" }));
    QVERIFY(w->mitLoop->isCheckable() && w->mitplayall->isCheckable());
    QVERIFY(!w->mitSong[8]->isEnabled());
    int enabledSongs = 0;
    for (const auto* items : { &w->mitSong, &w->mitSirrel, &w->mitTemple, &w->mitTheme })
        for (QAction* item : *items)
            enabledSongs += item->isEnabled() && item->isVisible() ? 1 : 0;
    QCOMPARE(enabledSongs, 33);
}

void TestWindow::everyTopLevelMenuFitsTheBar()
{
    WindowFixture w;
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    QMenuBar* bar = w.window->menuBar();
    QCOMPARE(bar->width(), 340);
    for (QAction* top : bar->actions()) {
        const QRect place = bar->actionGeometry(top);
        QVERIFY2(!place.isEmpty() && bar->rect().contains(place), qPrintable(top->text()));
    }
}

// Tests and tools know the window by these names only.
void TestWindow::everyControlAnswersToItsName()
{
    WindowFixture w;
    QStringList names;
    for (QAction* top : w.window->menuBar()->actions())
        for (QAction* item : top->menu()->actions())
            names << item->objectName();
    QCOMPARE(names.size(), 5 + 34);
    QCOMPARE(names.mid(0, 6),
        QStringList({ "mitopen", "mitRandom", "mitLoop", "mitplayall", "mitexit", "mitSong_0" }));
    QVERIFY(names.contains("mitSirrel_3") && names.contains("mitTheme_7"));
    QCOMPARE(w->mitTemple.size(), 8);
    for (const char* control : { "Slider1", "cmdPlay", "cmdPause", "cmdStop", "lblname" })
        QVERIFY2(w.window->findChild<QWidget*>(control), control);
}

void TestWindow::songMenusAreIndexedArrays_data()
{
    QTest::addColumn<int>("menu");
    QTest::addColumn<int>("count");
    QTest::newRow("Location Songs") << int(SongMenu::Location) << 14;
    QTest::newRow("Sirrel Songs") << int(SongMenu::Sirrel) << 4;
    QTest::newRow("Temple Songs") << int(SongMenu::Temple) << 8;
    QTest::newRow("Themes") << int(SongMenu::Theme) << 8;
}

void TestWindow::songMenusAreIndexedArrays()
{
    QFETCH(int, menu);
    QFETCH(int, count);
    WindowFixture w;
    const QList<QAction*> arrays[] = { w->mitSong, w->mitSirrel, w->mitTemple, w->mitTheme };
    const QMenu* menus[] = { w->mnuSong, w->mnuSirrel, w->mnuTemple, w->mnuTheme };
    const QList<QAction*>& items = arrays[menu];
    QCOMPARE(items.size(), count);
    QCOMPARE(menus[menu]->actions(), items);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(
            items[i]->text(), QString::fromUtf8(Catalogue::row(SongMenu(menu), qint16(i)).caption));
        QVERIFY(items[i]->shortcut().isEmpty());
        QVERIFY(items[i]->isCheckable());
        // Greyed out exactly where the catalogue row says so (Hollow Weald).
        QCOMPARE(items[i]->isEnabled(), Catalogue::row(SongMenu(menu), qint16(i)).enabled);
    }
}

void TestWindow::marksAreLeftToTheHandler_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click") << "click";
    QTest::newRow("shortcut") << "shortcut";
    QTest::newRow("trigger") << "trigger";
}

// Loop toggles its own mark once, through its handler; the action's own toggle is undone.
void TestWindow::marksAreLeftToTheHandler()
{
    QFETCH(QString, how);
    WindowFixture w;
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    w.window->activateWindow();
    const auto chooseLoop = [&] {
        if (how == "trigger") {
            w->mitLoop->trigger();
        } else if (how == "shortcut") {
            QTest::keyClick(w.window.get(), Qt::Key_L, Qt::ControlModifier);
        } else {
            w->mnuFile->popup(QPoint(0, 0));
            QVERIFY(QTest::qWaitForWindowExposed(w->mnuFile, TestWait::ceilingMs));
            QTest::mouseClick(
                w->mnuFile, Qt::LeftButton, {}, w->mnuFile->actionGeometry(w->mitLoop).center());
        }
    };
    LUMORA_STEP(chooseLoop());
    LUMORA_TRY_VERIFY(w->mitLoop->isChecked());
    LUMORA_STEP(chooseLoop());
    LUMORA_TRY_VERIFY(!w->mitLoop->isChecked());

    // A song item gets exactly one mark from its handler, even when chosen twice.
    w->mitSong[3]->trigger();
    w->mitSong[3]->trigger();
    QVERIFY(w->mitSong[3]->isChecked());
}

void TestWindow::shortcutsWorkWhileAMenuIsOpen_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Ctrl+O") << int(Qt::Key_O)
                            << QStringList({ "FileName /songs/a.mid", "Command open" });
    QTest::newRow("Ctrl+R") << int(Qt::Key_R)
                            << QStringList(
                                   { "Command Close", "Command Close", "FileName k58belfr.mid",
                                       "Command Close", "Command Open", "Command Play" });
    QTest::newRow("Ctrl+L") << int(Qt::Key_L) << QStringList();
}

void TestWindow::shortcutsWorkWhileAMenuIsOpen()
{
    QFETCH(int, key);
    QFETCH(QStringList, expected);
    WindowFixture w;
    w.dialog.answers << "/songs/a.mid";
    w.random.script = { 0, 0 };
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    w.window->activateWindow();
    w->mnuTheme->popup(w.window->mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(w->mnuTheme, TestWait::ceilingMs));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w->mnuTheme,
        Qt::Key(key), Qt::ControlModifier);
    LUMORA_TRY_COMPARE(w.media.operations, expected);
    if (key == Qt::Key_L)
        QVERIFY(w->mitLoop->isChecked());
}

void TestWindow::exitSendsNothingAndEndsTheEventLoop()
{
    WindowFixture w;
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    w.window->activateWindow();
    w->mitplayall->setChecked(true);
    // Exit ends the running event loop; here that is a nested one standing in for exec().
    QEventLoop loop;
    QTimer::singleShot(0, w.window.get(),
        [&] { QTest::keyClick(w.window.get(), Qt::Key_X, Qt::ControlModifier); });
    QTimer::singleShot(5000, &loop, [&] { loop.exit(99); });
    QCOMPARE(loop.exec(), 0);
    QVERIFY(!w->mitplayall->isChecked());
    QVERIFY(w.media.operations.isEmpty());
    // Once ending, not even the title bar's close reaches the device.
    w.window->close();
    QVERIFY(w.media.operations.isEmpty());
}

void TestWindow::closingSendsOneClose()
{
    WindowFixture w;
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    QVERIFY(w.window->close());
    QCOMPARE(w.media.operations, QStringList { "Command Close" });
    QVERIFY(!w.window->isVisible());
    w.window->close();
    QCOMPARE(w.media.operations, QStringList { "Command Close" });
}

void TestWindow::pictureButtonClicksOnlyWhenReleasedOnIt()
{
    PictureButton button;
    button.resize(100, 60);
    QSignalSpy clicks(&button, &PictureButton::clicked);
    QSignalSpy downs(&button, &PictureButton::mouseDown);
    QSignalSpy ups(&button, &PictureButton::mouseUp);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(50, 30));
    QTest::mouseClick(&button, Qt::RightButton, {}, QPoint(50, 30));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(50, 30));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(150, 30));
    QCOMPARE(downs.size(), 3);
    QCOMPARE(ups.size(), 3);
    QCOMPARE(clicks.size(), 1);
}

void TestWindow::aDoubleClickIsOneClick_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Play") << "cmdPlay";
    QTest::newRow("Pause") << "cmdPause";
    QTest::newRow("Stop") << "cmdStop";
}

// A double click sends what one click sends: on Pause, one Pause, not a pause and a resume.
void TestWindow::aDoubleClickIsOneClick()
{
    QFETCH(QString, button);
    const auto commandsAfter = [&button](bool twice) {
        WindowFixture w;
        w.window->show();
        if (!QTest::qWaitForWindowExposed(w.window.get()))
            return QStringList { "the window did not show" };
        w->mitSong_Click(3);
        w.media.operations.clear();
        auto* target = w.window->findChild<PictureButton*>(button);
        if (twice)
            w->doubleClick(target);
        else
            w->click(target);
        return w.media.operations;
    };
    const QStringList once = commandsAfter(false);
    QVERIFY(!once.isEmpty());
    QCOMPARE(commandsAfter(true), once);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
