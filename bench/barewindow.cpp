// The reference for the player's start-up: the least a Qt Widgets program does to put a window
// with a menu bar and some text on the screen. firstpaint times both the same way.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.menuBar()->addMenu(QStringLiteral("File"));
    auto* label = new QLabel(QStringLiteral("Bare window"), &window);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(340, 278);
    window.setCentralWidget(label);
    window.show();
    return app.exec();
}
