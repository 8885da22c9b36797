#include "app/captionlabel.h"
#include "app/randomgenerator.h"
#include "app/randomsong.h"
#include "windowfixture.h"

#include <QAction>
#include <QSlider>
#include <QTest>

class TestRandomSong : public QObject {
    Q_OBJECT

private slots:
    void pickNeedsNoWindow_data();
    void pickNeedsNoWindow();
    void categoriesPickTheirMenu_data();
    void categoriesPickTheirMenu();
    void menusComeUpFourThreeThreeOne();
    void clearsPlayAllAndKeepsLoop();
    void clockSeededDrawsCoverTheirRange_data();
    void clockSeededDrawsCoverTheirRange();
};

void TestRandomSong::pickNeedsNoWindow_data()
{
    QTest::addColumn<int>("categoryDraw");
    QTest::addColumn<int>("itemDraw");
    QTest::addColumn<int>("menu");
    QTest::addColumn<int>("itemCount");
    QTest::newRow("1: first location") << 0 << 0 << int(SongMenu::Location) << 14;
    QTest::newRow("4: last location") << 3 << 13 << int(SongMenu::Location) << 14;
    QTest::newRow("5: first temple") << 4 << 0 << int(SongMenu::Temple) << 8;
    QTest::newRow("7: last temple") << 6 << 7 << int(SongMenu::Temple) << 8;
    QTest::newRow("8: first theme") << 7 << 0 << int(SongMenu::Theme) << 8;
    QTest::newRow("10: last theme") << 9 << 7 << int(SongMenu::Theme) << 8;
    QTest::newRow("11: Sirrel") << 10 << 3 << int(SongMenu::Sirrel) << 4;
}

// The draw alone: the category's menu, then an item over the catalogue's own count for it.
void TestRandomSong::pickNeedsNoWindow()
{
    QFETCH(int, categoryDraw);
    QFETCH(int, itemDraw);
    QFETCH(int, menu);
    QFETCH(int, itemCount);
    ScriptedRandom random;
    random.script = { categoryDraw, itemDraw };
    const SongPick pick = pickRandomSong(random);
    QCOMPARE(int(pick.menu), menu);
    QCOMPARE(int(menuForCategory(categoryDraw + 1)), menu);
    QCOMPARE(pick.index, qint16(itemDraw));
    QCOMPARE(random.requestedCounts, QList<int>({ 11, itemCount }));
    QCOMPARE(int(Catalogue::itemCount(pick.menu)), itemCount);
}

void TestRandomSong::categoriesPickTheirMenu_data()
{
    QTest::addColumn<int>("category");
    QTest::addColumn<int>("itemCount");
    QTest::addColumn<QString>("firstStem");
    QTest::addColumn<QString>("lastStem");
    for (int c = 1; c <= 4; ++c)
        QTest::addRow("category %d", c) << c << 14 << "k58belfr"
                                        << "k58neri";
    for (int c = 5; c <= 7; ++c)
        QTest::addRow("category %d", c) << c << 8 << "qelgoe"
                                        << "k58frost";
    for (int c = 8; c <= 10; ++c)
        QTest::addRow("category %d", c) << c << 8 << "k58pell"
                                        << "k58corvn";
    QTest::addRow("category 11") << 11 << 4 << "k58alder"
                                 << "mp_ilsa";
}

// The two draws, their ranges and the song each end of the range reaches, with the whole list of
// operations the device receives.
void TestRandomSong::categoriesPickTheirMenu()
{
    QFETCH(int, category);
    QFETCH(int, itemCount);
    QFETCH(QString, firstStem);
    QFETCH(QString, lastStem);
    for (const auto& [index, stem] : { std::pair { 0, firstStem }, { itemCount - 1, lastStem } }) {
        WindowFixture w;
        w.random.script = { category - 1, index };
        w->Slider1->setValue(3);
        w->mitRandom_Click();
        QCOMPARE(w.random.requestedCounts, QList<int>({ 11, itemCount }));
        QCOMPARE(w.random.reseeds, 1);
        QCOMPARE(w.media.operations,
            QStringList({ "Command Close", "Command Close", "FileName " + stem + ".mid",
                "Command Close", "Command Open", "Command Play" }));
        QCOMPARE(w->currentSongStem(), stem);
        QCOMPARE(w->Slider1->value(), 3);
    }
}

// Over many draws from a fixed seed: the menus in proportion 4 : 3 : 3 : 1 and every item of a
// menu about equally often, never outside its range.
void TestRandomSong::menusComeUpFourThreeThreeOne()
{
    WindowFixture w;
    QMap<QString, int> perStem;
    const int draws = 22000;
    for (int i = 0; i < draws; ++i) {
        w->mitRandom_Click();
        perStem[w->currentSongStem()]++;
    }
    QCOMPARE(perStem.size(), 34);
    const std::pair<SongMenu, double> shares[] { { SongMenu::Location, 4.0 / 11 },
        { SongMenu::Temple, 3.0 / 11 }, { SongMenu::Theme, 3.0 / 11 },
        { SongMenu::Sirrel, 1.0 / 11 } };
    for (const auto& [menu, share] : shares) {
        int menuCount = 0;
        for (const CatalogueRow& row : Catalogue::rows(menu))
            menuCount += perStem.value(row.stem);
        QVERIFY2(qAbs(menuCount / double(draws) - share) < 0.015, Catalogue::menuCaption(menu));
        const double perItem = menuCount / double(Catalogue::itemCount(menu));
        for (const CatalogueRow& row : Catalogue::rows(menu))
            QVERIFY2(qAbs(perStem.value(row.stem) - perItem) < perItem * 0.15, row.stem);
    }
}

void TestRandomSong::clearsPlayAllAndKeepsLoop()
{
    WindowFixture w;
    w->mitLoop->setChecked(true);
    w->mitplayall->setChecked(true);
    w->mitRandom_Click();
    QVERIFY(!w->mitplayall->isChecked());
    QVERIFY(w->mitLoop->isChecked());
    QVERIFY(w.media.isPlaying());
    QVERIFY(w->lblname->caption().startsWith("Current Song: "));
}

void TestRandomSong::clockSeededDrawsCoverTheirRange_data()
{
    QTest::addColumn<int>("count");
    for (int count : { 1, 2, 4, 8, 11, 14 })
        QTest::addRow("%d", count) << count;
}

// The generator the program runs with: every value from 0 to count - 1 comes up, nothing else.
void TestRandomSong::clockSeededDrawsCoverTheirRange()
{
    QFETCH(int, count);
    ClockSeededRandom random;
    QList<int> seen(count, 0);
    for (int i = 0; i < 200 * count; ++i) {
        if (i % 50 == 0)
            random.reseedFromClock();
        const int value = random.draw(count);
        QVERIFY2(value >= 0 && value < count, qPrintable(QString::number(value)));
        ++seen[value];
    }
    QVERIFY(!seen.contains(0));
}

QTEST_MAIN(TestRandomSong)
#include "tst_randomsong.moc"
