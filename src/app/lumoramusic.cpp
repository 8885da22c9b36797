#include "app/lumoramusic.h"

#include "app/captionlabel.h"
#include "app/compactmenubarstyle.h"
#include "app/picturebutton.h"
#include "app/picturesurface.h"
#include "media/mediacontrol.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>
#include <QSlider>

namespace {

constexpr QSize kClientArea(340, 278);

// Faces chosen by name, from packages the player depends on: with only a few fonts installed,
// fontconfig's first match for the desktop's default can be a monospaced face. The label's
// Arial Narrow is Liberation Sans Narrow where Arial is not installed.
const QStringList kLabelFamilies
    = { QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow") };
const QStringList kMenuFamilies
    = { QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans") };

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(LumoraMusic::pixelsFromTwips(left), LumoraMusic::pixelsFromTwips(top),
        LumoraMusic::pixelsFromTwips(width), LumoraMusic::pixelsFromTwips(height));
}

} // namespace

LumoraMusic::LumoraMusic(const WindowServices& services, QWidget* parent)
    : QMainWindow(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , CommonDialog(services.dialog)
    , MMControl1(services.media)
    , m_random(*services.random)
    , m_pictures(*services.pictures)
{
    setObjectName(QStringLiteral("LumoraMusic"));
    setWindowTitle(QStringLiteral("Lumora - Music Player"));
    setWindowIcon(QIcon(QStringLiteral(":/lumora.png")));
    createControls();
    createMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(MMControl1, &MediaControl::statusUpdate, this, [this] {
        if (handlersStopped())
            return;
        // Play All's loop may be unable to look (a modal dialog runs inside its wait): it gets
        // its look at the end of a song first, or the notification would rewind a song it
        // never saw finish and Play All would wait forever.
        if (isPlayAllLoopWaiting())
            startNextSongIfEnded();
        MMControl1_StatusUpdate();
    });
    MMControl1->setFollowingSongGuess([this] { return songThatFollows(); });
}

LumoraMusic::~LumoraMusic() = default;

void LumoraMusic::createControls()
{
    surface = new PictureSurface(this);
    surface->setObjectName(QStringLiteral("surface"));
    surface->setFixedSize(kClientArea);
    QPalette pal = surface->palette();
    pal.setColor(QPalette::Window, QApplication::palette("QMenuBar").color(QPalette::Window));
    surface->setPalette(pal);
    setCentralWidget(surface);

    Slider1 = new QSlider(Qt::Horizontal, surface);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setGeometry(twipsRect(480, 3480, 4095, 375));
    Slider1->setRange(0, 10);
    Slider1->setFocusPolicy(Qt::StrongFocus);

    const auto makeButton = [this](const char* name, int left) {
        auto* button = new PictureButton(surface);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(twipsRect(left, 1920, 1500, 900));
        return button;
    };
    cmdStop = makeButton("cmdStop", 3360);
    cmdPause = makeButton("cmdPause", 1800);
    cmdPlay = makeButton("cmdPlay", 240);

    lblname = new CaptionLabel(pixelsFromTwips(2460), surface);
    lblname->setObjectName(QStringLiteral("lblname"));
    lblname->setGeometry(twipsRect(2460, 360, 0, 390));
    QFont font;
    font.setFamilies(kLabelFamilies);
    font.setPointSizeF(15.75); // the int constructor would round it down to 15
    font.setWeight(QFont::Normal);
    lblname->setFont(font);
    lblname->setForeColor(QApplication::palette().color(QPalette::ToolTipBase));

    const auto wireButton = [this](PictureButton* button, void (LumoraMusic::*click)(),
                                void (LumoraMusic::*down)(), void (LumoraMusic::*up)()) {
        connect(button, &PictureButton::clicked, this, [this, click] {
            if (!handlersStopped())
                (this->*click)();
        });
        connect(button, &PictureButton::mouseDown, this, [this, down] {
            if (!handlersStopped())
                (this->*down)();
        });
        connect(button, &PictureButton::mouseUp, this, [this, up] {
            if (!handlersStopped())
                (this->*up)();
        });
    };
    wireButton(cmdPlay, &LumoraMusic::cmdPlay_Click, &LumoraMusic::cmdPlay_MouseDown,
        &LumoraMusic::cmdPlay_MouseUp);
    wireButton(cmdPause, &LumoraMusic::cmdPause_Click, &LumoraMusic::cmdPause_MouseDown,
        &LumoraMusic::cmdPause_MouseUp);
    wireButton(cmdStop, &LumoraMusic::cmdStop_Click, &LumoraMusic::cmdStop_MouseDown,
        &LumoraMusic::cmdStop_MouseUp);
}

void LumoraMusic::createMenus()
{
    auto* style = new CompactMenuBarStyle();
    style->setParent(menuBar());
    menuBar()->setStyle(style);

    mnuFile = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mitopen = addFileItem("mitopen", QStringLiteral("&Open"),
        QKeySequence(QStringLiteral("Ctrl+O")), false, &LumoraMusic::mitopen_Click);
    mitRandom = addFileItem("mitRandom", QStringLiteral("Choose &Random Song"),
        QKeySequence(QStringLiteral("Ctrl+R")), false, &LumoraMusic::mitRandom_Click);
    mitLoop = addFileItem("mitLoop", QStringLiteral("&Loop"),
        QKeySequence(QStringLiteral("Ctrl+L")), true, &LumoraMusic::mitLoop_Click);
    mitplayall = addFileItem("mitplayall", QStringLiteral("Pla&y All"),
        QKeySequence(QStringLiteral("Ctrl+Y")), true, &LumoraMusic::mitplayall_Click);
    mitexit = addFileItem("mitexit", QStringLiteral("E&xit"),
        QKeySequence(QStringLiteral("Ctrl+X")), false, &LumoraMusic::mitexit_Click);

    mitSong = addSongMenu(mnuSong, "Song", SongMenu::Location, &LumoraMusic::mitSong_Click);
    mitSirrel = addSongMenu(mnuSirrel, "Sirrel", SongMenu::Sirrel, &LumoraMusic::mitSirrel_Click);
    mitTemple = addSongMenu(mnuTemple, "Temple", SongMenu::Temple, &LumoraMusic::mitTemple_Click);
    mitTheme = addSongMenu(mnuTheme, "Theme", SongMenu::Theme, &LumoraMusic::mitTheme_Click);

    useMenuFont();
    fitMenuBarFont();
}

// The menu bar's titles and the drop-down menus, which are windows of their own and inherit no
// font from the window, at the desktop's size.
void LumoraMusic::useMenuFont()
{
    QFont font = menuBar()->font();
    font.setFamilies(kMenuFamilies);
    menuBar()->setFont(font);
    for (QAction* top : menuBar()->actions())
        top->menu()->setFont(font);
}

// The window is only 340 pixels wide and menu bars do not wrap: with a wide desktop font the
// last menu would hide behind an extension button. Step the titles' font down until all fit.
void LumoraMusic::fitMenuBarFont()
{
    QFont font = menuBar()->font();
    const auto widthNeeded = [this](const QFont& f) {
        const QFontMetrics metrics(f);
        int width = 0;
        for (QAction* top : menuBar()->actions())
            width += metrics.horizontalAdvance(QString(top->text()).remove(QLatin1Char('&')))
                + 2 * CompactMenuBarStyle::titlePadding;
        return width;
    };
    while (widthNeeded(font) > kClientArea.width() && font.pointSizeF() > 6.0)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    menuBar()->setFont(font);
}

QAction* LumoraMusic::addFileItem(const char* name, const QString& caption,
    const QKeySequence& shortcut, bool checkable, void (LumoraMusic::*handler)())
{
    QAction* action = mnuFile->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    // Application-wide, so the shortcut also works while a menu is open.
    action->setShortcutContext(Qt::ApplicationShortcut);
    action->setCheckable(checkable);
    connectHandler(action, [this, handler] { (this->*handler)(); });
    return action;
}

// The menu is "mnu<name>", its items "mit<name>_<index>".
QList<QAction*> LumoraMusic::addSongMenu(
    QMenu*& menu, const char* name, SongMenu which, void (LumoraMusic::*handler)(qint16))
{
    menu = menuBar()->addMenu(QString::fromUtf8(Catalogue::menuCaption(which)));
    menu->setObjectName(QStringLiteral("mnu") + QLatin1String(name));
    QList<QAction*> items;
    for (const CatalogueRow& row : Catalogue::rows(which)) {
        // A plain-text caption: no song title carries an access key.
        QAction* item = menu->addAction(
            QString::fromUtf8(row.caption).replace(QLatin1Char('&'), QLatin1String("&&")));
        item->setObjectName(QStringLiteral("mit%1_%2").arg(QLatin1String(name)).arg(row.index));
        item->setCheckable(true);
        item->setEnabled(row.enabled);
        const qint16 index = row.index;
        connectHandler(item, [this, handler, index] { (this->*handler)(index); });
        items.append(item);
    }
    return items;
}

void LumoraMusic::connectHandler(QAction* action, std::function<void()> handler)
{
    connect(action, &QAction::triggered, this, [this, action, handler](bool checked) {
        // A checkable action flips its own mark before telling us; marks belong to the handlers.
        if (action->isCheckable())
            action->setChecked(!checked);
        if (!handlersStopped())
            handler();
    });
}

void LumoraMusic::closeEvent(QCloseEvent* event)
{
    if (m_unloaded || m_ending) {
        event->accept();
        return;
    }
    qint16 cancel = 0;
    Form_Unload(cancel);
    if (cancel != 0) {
        event->ignore();
        return;
    }
    m_unloaded = true;
    event->accept();
}

std::unique_ptr<QMainWindow> createMainWindow(const WindowServices& services, QWidget* parent)
{
    return std::make_unique<LumoraMusic>(services, parent);
}
