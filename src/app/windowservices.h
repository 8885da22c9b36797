#pragma once

#include <QMainWindow>

#include <memory>

class FileOpenDialog;
class MediaControl;
class PictureLoader;
class RandomGenerator;

// What the window talks to outside itself; each is owned by the caller and injectable for tests.
struct WindowServices {
    MediaControl* media = nullptr;
    FileOpenDialog* dialog = nullptr;
    RandomGenerator* random = nullptr;
    PictureLoader* pictures = nullptr;
};

// The player's window for code outside app/, which knows it by its controls' object names only.
// Its load step runs with QMetaObject::invokeMethod(window, "Form_Load").
std::unique_ptr<QMainWindow> createMainWindow(
    const WindowServices& services, QWidget* parent = nullptr);
