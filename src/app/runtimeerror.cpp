#include "app/runtimeerror.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

void FatalErrorReporter::raise(const QString& message)
{
    std::fprintf(stderr, "lumora: %s\n", qPrintable(message));
    std::fflush(stderr);
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        QMessageBox::critical(nullptr, QStringLiteral("Lumora - Music Player"), message);
    // The window may be half set up; ending here keeps a broken skin from ever showing.
    std::_Exit(EXIT_FAILURE);
}
