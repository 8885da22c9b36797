#include "app/captionlabel.h"
#include "windowfixture.h"

#include <QAction>
#include <QMenu>
#include <QSet>
#include <QTest>

namespace {

QList<QAction*> itemsOf(WindowDriver& w, SongMenu menu)
{
    switch (menu) {
    case SongMenu::Location:
        return w.mitSong;
    case SongMenu::Sirrel:
        return w.mitSirrel;
    case SongMenu::Temple:
        return w.mitTemple;
    case SongMenu::Theme:
        return w.mitTheme;
    }
    return {};
}

void choose(WindowDriver& w, SongMenu menu, qint16 index)
{
    switch (menu) {
    case SongMenu::Location:
        return w.mitSong_Click(index);
    case SongMenu::Sirrel:
        return w.mitSirrel_Click(index);
    case SongMenu::Temple:
        return w.mitTemple_Click(index);
    case SongMenu::Theme:
        return w.mitTheme_Click(index);
    }
}

QList<int> checkedIndexes(const QList<QAction*>& items)
{
    QList<int> checked;
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->isChecked())
            checked << i;
    return checked;
}

} // namespace

class TestSongMenus : public QObject {
    Q_OBJECT

private slots:
    void catalogueIsConsistent();
    void rowsAsPrinted_data();
    void rowsAsPrinted();
    void choosingASong_data();
    void choosingASong();
    void marksOfOtherMenusStay();
    void choosingTheCheckedSongAgainReopensNothing();
    void choosingAfterFileOpenRestoresTheCatalogueName();
    void indexWithoutAnItemClearsTheMenuAndKeepsTheStem();
};

void TestSongMenus::catalogueIsConsistent()
{
    QSet<QString> captions, stems, labels;
    for (const CatalogueRow& row : Catalogue::rows()) {
        captions << row.caption;
        stems << row.stem;
        labels << row.labelText;
        QVERIFY(QString(row.labelText).startsWith("Current Song: "));
        QVERIFY(!QString(row.caption).contains('&'));
        const int stemLength = int(strlen(row.stem));
        QVERIFY2(stemLength >= 6 && stemLength <= 8, row.stem);
    }
    QCOMPARE(captions.size(), 34);
    QCOMPARE(stems.size(), 34);
    QCOMPARE(labels.size(), 34);
}

// The table's own words, written out: captions that differ from their label, the one stem with a
// capital letter, the first and last item of each menu. Driven through the menus as a user would.
void TestSongMenus::rowsAsPrinted_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("stem");
    QTest::addColumn<QString>("label");
    QTest::newRow("Location 1") << "mnuSong" << 1 << "Harbour"
                                << "k58harbr"
                                << "Current Song: Misty Harbour";
    QTest::newRow("Location 10") << "mnuSong" << 10 << "Lamp Seller / Archive"
                                 << "k58lmp"
                                 << "Current Song: Greywater Archive / Lamp Seller";
    QTest::newRow("Sirrel 0") << "mnuSirrel" << 0 << "Alder"
                              << "k58alder"
                              << "Current Song: Alder's Song";
    QTest::newRow("Temple 1") << "mnuTemple" << 1 << "Pavane Of The Marsh"
                              << "ms_pavan"
                              << "Current Song: Pavane Of Marsh";
    QTest::newRow("Theme 1") << "mnuTheme" << 1 << "Oswin's Theme"
                             << "ms_rOswi"
                             << "Current Song: Oswin's Theme";
    QTest::newRow("Theme 2") << "mnuTheme" << 2 << "Prologue Theme"
                             << "k58prlog"
                             << "Current Song: Valdren Prologue Theme";
}

void TestSongMenus::rowsAsPrinted()
{
    QFETCH(QString, menu);
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QString, stem);
    QFETCH(QString, label);
    WindowFixture w;
    const auto* songMenu = w.window->findChild<QMenu*>(menu);
    QVERIFY(songMenu);
    QAction* item = songMenu->actions().at(index);
    QCOMPARE(item->text(), caption);
    item->trigger();
    QCOMPARE(w.media.fileName(), stem + ".mid");
    QCOMPARE(w.window->findChild<CaptionLabel*>("lblname")->caption(), label);
}

void TestSongMenus::choosingASong_data()
{
    QTest::addColumn<int>("menu");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("stem");
    QTest::addColumn<QString>("label");
    for (const CatalogueRow& row : Catalogue::rows()) {
        QTest::addRow("%s %d", Catalogue::menuCaption(row.menu), row.index)
            << int(row.menu) << int(row.index) << QString(row.stem) << QString(row.labelText);
    }
}

// Every catalogue row, chosen from a window that already has another song of the same menu
// checked: one Close, the marks of that menu moved, the stem and label set, the file named last.
void TestSongMenus::choosingASong()
{
    QFETCH(int, menu);
    QFETCH(int, index);
    QFETCH(QString, stem);
    QFETCH(QString, label);
    WindowFixture w;
    const SongMenu which = SongMenu(menu);
    const int other = index == 0 ? 1 : 0;
    choose(w.driver, which, qint16(other));
    w.media.operations.clear();

    choose(w.driver, which, qint16(index));

    QCOMPARE(w.media.operations, QStringList({ "Command Close", "FileName " + stem + ".mid" }));
    QCOMPARE(checkedIndexes(itemsOf(w.driver, which)), QList<int> { index });
    QCOMPARE(w->currentSongStem(), stem);
    QCOMPARE(w->lblname->caption(), label);
    QVERIFY(!w->mitLoop->isChecked() && !w->mitplayall->isChecked());
    QVERIFY(!w.media.isPlaying());
}

void TestSongMenus::marksOfOtherMenusStay()
{
    WindowFixture w;
    w->mitSong_Click(3);
    w->mitTemple_Click(5);
    QCOMPARE(checkedIndexes(w->mitSong), QList<int> { 3 });
    QCOMPARE(checkedIndexes(w->mitTemple), QList<int> { 5 });
    QCOMPARE(w->currentSongStem(), QStringLiteral("ms_aubde"));
    QCOMPARE(w.media.fileName(), QStringLiteral("ms_aubde.mid"));
    QCOMPARE(w->lblname->caption(), QStringLiteral("Current Song: Aubade Of Rain"));
}

void TestSongMenus::choosingTheCheckedSongAgainReopensNothing()
{
    WindowFixture w;
    w->mitTheme_Click(1);
    w->cmdPlay_Click();
    QVERIFY(w.media.isPlaying());
    w.media.operations.clear();
    w->mitTheme_Click(1);
    QCOMPARE(w.media.operations, QStringList({ "Command Close", "FileName ms_rOswi.mid" }));
    QVERIFY(!w.media.isPlaying());
    QCOMPARE(checkedIndexes(w->mitTheme), QList<int> { 1 });
}

void TestSongMenus::choosingAfterFileOpenRestoresTheCatalogueName()
{
    WindowFixture w;
    w->mitSong_Click(10);
    w.dialog.answers << "/home/user/tune.mid";
    w->mitopen_Click();
    QCOMPARE(w->lblname->caption(), QStringLiteral("Current Song = Midi"));
    QCOMPARE(w->currentSongStem(), QStringLiteral("k58lmp"));
    QCOMPARE(checkedIndexes(w->mitSong), QList<int> { 10 });
    w->mitSong_Click(10);
    QCOMPARE(w.media.fileName(), QStringLiteral("k58lmp.mid"));
    QCOMPARE(
        w->lblname->caption(), QStringLiteral("Current Song: Greywater Archive / Lamp Seller"));
}

// Only the random choice calls these handlers directly, and always within range; an index with no
// item must still not crash or invent a song.
void TestSongMenus::indexWithoutAnItemClearsTheMenuAndKeepsTheStem()
{
    WindowFixture w;
    w->mitSirrel_Click(2);
    w.media.operations.clear();
    w->mitSirrel_Click(4);
    w->mitSirrel_Click(-1);
    QCOMPARE(w.media.operations,
        QStringList({ "Command Close", "FileName mp_seasn.mid", "Command Close",
            "FileName mp_seasn.mid" }));
    QVERIFY(checkedIndexes(w->mitSirrel).isEmpty());
    QCOMPARE(w->lblname->caption(), QStringLiteral("Current Song: Song of Seasons"));
}

QTEST_MAIN(TestSongMenus)
#include "tst_songmenus.moc"
