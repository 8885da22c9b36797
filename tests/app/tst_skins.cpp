#include "app/captionlabel.h"
#include "app/picturebutton.h"
#include "app/pictureloader.h"
#include "app/picturesurface.h"
#include "app/windowservices.h"
#include "fakemediacontrol.h"
#include "scriptedservices.h"
#include "testwait.h"
#include "windowdriver.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString dataDir()
{
    return qEnvironmentVariable("LUMORA_SOURCE_DIR") + QStringLiteral("/data");
}

QImage imageOf(const QString& folder, const QString& name)
{
    return QImage(folder + QLatin1Char('/') + name)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage shown(const QPixmap& picture)
{
    return picture.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A window over the shipped pictures, copied into a folder of its own.
struct SkinnedWindow {
    QTemporaryDir folder;
    FakeMediaControl media;
    ScriptedDialog dialog;
    ScriptedRandom random;
    ThrowingErrorReporter errors;
    FilePictureLoader pictures { errors, folder.path() };
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<WindowDriver> driver;

    explicit SkinnedWindow(QList<int> draws = {}, const QStringList& leaveOut = {})
    {
        const QDir source(dataDir());
        for (const QString& name : source.entryList({ "*.gif", "*.jpg" }, QDir::Files))
            if (!leaveOut.contains(name))
                QFile::copy(source.filePath(name), folder.filePath(name));
        random.script = draws;
        window = createMainWindow(WindowServices { &media, &dialog, &random, &pictures });
        driver = std::make_unique<WindowDriver>(window.get());
    }
    WindowDriver* operator->() const { return driver.get(); }
    QImage file(const QString& name) const { return imageOf(folder.path(), name); }
};

} // namespace

class TestSkins : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void bothSkinsComeUpAboutHalfTheTime();
    void loadShowsTheDrawnSkin_data();
    void loadShowsTheDrawnSkin();
    void pressAndReleaseSwapOnlyThatButton_data();
    void pressAndReleaseSwapOnlyThatButton();
    void namesAreFoundInAnyLetterCase();
    void missingPictureRaisesTheRunTimeError();
    void missingPictureEndsTheProgram();
};

void TestSkins::initTestCase()
{
    if (!QFile::exists(dataDir() + "/FirstUI.jpg"))
        QSKIP("the shipped pictures are not there");
}

void TestSkins::bothSkinsComeUpAboutHalfTheTime()
{
    ScriptedRandom random(2024);
    RecordingPictureLoader pictures;
    FakeMediaControl media;
    ScriptedDialog dialog;
    int first = 0;
    const int startUps = 400;
    for (int i = 0; i < startUps; ++i) {
        const auto shell = createMainWindow({ &media, &dialog, &random, &pictures });
        WindowDriver window(shell.get());
        window.Form_Load();
        QVERIFY(window.skinNumber() == 1 || window.skinNumber() == 2);
        first += window.skinNumber() == 1 ? 1 : 0;
    }
    QCOMPARE(random.reseeds, startUps);
    QVERIFY2(
        first > startUps * 0.42 && first < startUps * 0.58, qPrintable(QString::number(first)));
    QVERIFY(media.operations.isEmpty());
}

void TestSkins::loadShowsTheDrawnSkin_data()
{
    QTest::addColumn<int>("draw");
    QTest::addColumn<QString>("skin");
    QTest::addColumn<QString>("background");
    QTest::addColumn<int>("labelTop");
    QTest::newRow("skin 1") << 0 << "first"
                            << "FirstUI.jpg" << 26;
    QTest::newRow("skin 2") << 1 << "second"
                            << "SecondUI.jpg" << 8;
}

void TestSkins::loadShowsTheDrawnSkin()
{
    QFETCH(int, draw);
    QFETCH(QString, skin);
    QFETCH(QString, background);
    QFETCH(int, labelTop);
    SkinnedWindow w({ draw });
    w->Form_Load();
    QCOMPARE(w->skinNumber(), qint16(draw + 1));
    QCOMPARE(shown(w->surface->picture()), w.file(background));
    QCOMPARE(shown(w->cmdPlay->picture()), w.file(skin + "UIb13up.gif"));
    QCOMPARE(shown(w->cmdPause->picture()), w.file(skin + "UIb23up.gif"));
    QCOMPARE(shown(w->cmdStop->picture()), w.file(skin + "UIb33up.gif"));
    QCOMPARE(w->cmdPlay->size(), QSize(100, 60));
    QCOMPARE(w->lblname->y(), labelTop);
    QCOMPARE(w->lblname->caption(), QString());
    QVERIFY(w.media.operations.isEmpty());
}

void TestSkins::pressAndReleaseSwapOnlyThatButton_data()
{
    QTest::addColumn<int>("draw");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("mouseButton");
    for (int draw : { 0, 1 })
        for (int button : { 1, 2, 3 })
            for (Qt::MouseButton mouse : { Qt::LeftButton, Qt::RightButton })
                QTest::addRow("skin %d button %d %s", draw + 1, button,
                    mouse == Qt::LeftButton ? "left" : "right")
                    << draw << button << int(mouse);
}

void TestSkins::pressAndReleaseSwapOnlyThatButton()
{
    QFETCH(int, draw);
    QFETCH(int, button);
    QFETCH(int, mouseButton);
    SkinnedWindow w({ draw });
    w->Form_Load();
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), TestWait::ceilingMs));
    const QString skin = draw == 0 ? "first" : "second";
    PictureButton* buttons[] = { w->cmdPlay, w->cmdPause, w->cmdStop };
    PictureButton* target = buttons[button - 1];
    const QImage background = shown(w->surface->picture());
    const QString label = w->lblname->caption();

    QTest::mousePress(target, Qt::MouseButton(mouseButton), {}, QPoint(50, 30));
    QCOMPARE(shown(target->picture()), w.file(QString("%1UIb%2").arg(skin).arg(button) + "3.gif"));
    QTest::mouseRelease(target, Qt::MouseButton(mouseButton), {}, QPoint(50, 30));

    for (int i = 1; i <= 3; ++i)
        QCOMPARE(shown(buttons[i - 1]->picture()),
            w.file(QString("%1UIb%2").arg(skin).arg(i) + "3up.gif"));
    QCOMPARE(shown(w->surface->picture()), background);
    QCOMPARE(w->lblname->caption(), label);
    // Only a left click is a click.
    const bool clicked = !w.media.operations.isEmpty();
    QCOMPARE(clicked, mouseButton == Qt::LeftButton);
}

void TestSkins::namesAreFoundInAnyLetterCase()
{
    QTemporaryDir folder;
    QFile::copy(dataDir() + "/firstUIb13up.gif", folder.filePath("FIRSTUIB13UP.GIF"));
    QFile::copy(dataDir() + "/firstUIb23up.gif", folder.filePath("a[1]*.gif"));
    QCOMPARE(FilePictureLoader::findCaseInsensitive(QDir(folder.path()), "firstUIb13Up.gif"),
        QStringLiteral("FIRSTUIB13UP.GIF"));
    QCOMPARE(FilePictureLoader::findCaseInsensitive(QDir(folder.path()), "A[1]*.GIF"),
        QStringLiteral("a[1]*.gif"));
    // Wildcard characters in a name are letters, not patterns.
    QCOMPARE(FilePictureLoader::findCaseInsensitive(QDir(folder.path()), "a1.gif"), QString());
    ThrowingErrorReporter errors;
    FilePictureLoader loader(errors, folder.path());
    QCOMPARE(loader.load("firstUIb13up.gif").size(), QSize(100, 60));
}

void TestSkins::missingPictureRaisesTheRunTimeError()
{
    SkinnedWindow w({ 1 }, { "secondUIb23up.gif" });
    try {
        w->Form_Load();
        QFAIL("no run-time error");
    } catch (const RuntimeErrorRaised& error) {
        const QString message = QString::fromStdString(error.what());
        QVERIFY2(message.contains("\"secondUIb23Up.gif\""), qPrintable(message));
        QVERIFY2(message.contains(QDir::toNativeSeparators(w.folder.path())), qPrintable(message));
    }
    // The steps before the failing one were done, the ones after it were not.
    QVERIFY(!w->cmdPlay->picture().isNull());
    QVERIFY(w->cmdStop->picture().isNull());
}

// The real program: an empty working directory ends it with the message and a failure status. A
// copy of it, as the one in the build folder finds the source tree's pictures.
void TestSkins::missingPictureEndsTheProgram()
{
    const QString built = qEnvironmentVariable("LUMORA_APP");
    if (built.isEmpty())
        QSKIP("LUMORA_APP is not set");
    QTemporaryDir empty, bin;
    const QString program = bin.filePath("lumora");
    QVERIFY(QFile::copy(built, program));
    QProcess app;
    app.setWorkingDirectory(empty.path());
    app.start(program, {});
    QVERIFY(app.waitForFinished(TestWait::ceilingMs));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QVERIFY(app.exitCode() != 0);
    const QString errors = QString::fromLocal8Bit(app.readAllStandardError());
    QVERIFY2(errors.contains("UI.jpg\"") && errors.contains(empty.path()), qPrintable(errors));
}

QTEST_MAIN(TestSkins)
#include "tst_skins.moc"
