#include "app/fileopendialog.h"
#include "app/lumoramusic.h"
#include "app/pictureloader.h"
#include "app/randomgenerator.h"
#include "app/runtimeerror.h"
#include "media/enginemediacontrol.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumora"));
    QApplication::setDesktopFileName(QStringLiteral("lumora"));

    FatalErrorReporter errors;
    FilePictureLoader pictures(errors);
    ClockSeededRandom random;
    QtFileOpenDialog dialog;
    EngineMediaControl media; // the SoundFont loads in the background; the window never waits

    LumoraMusic window({ &media, &dialog, &random, &pictures });
    dialog.setParentWidget(&window);
    window.Form_Load();
    window.show();
    return app.exec();
}
