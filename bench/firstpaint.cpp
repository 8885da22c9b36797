// firstpaint TITLE PROGRAM [ARGS...]: starts PROGRAM and prints the milliseconds from just before
// its exec to the first moment a viewable top-level window named TITLE shows painted content on
// the X display, then ends the program.
//
// "Painted" means at least three distinct pixel values inside the window: an unpainted window
// shows a single colour (the root behind it, or its background), while a painted Qt window has a
// menu bar, text and edges. The window is read back from the server every 2 ms, so the figure is
// what a user would see on the screen, not what the program believes it has drawn.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

Window findViewable(Display* display, Window parent, const char* title)
{
    Window root = 0, parentOut = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = count; i-- > 0 && !found;) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes)
            || attributes.map_state != IsViewable)
            continue;
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (!std::strcmp(name, title))
                found = children[i];
            XFree(name);
        }
        if (!found)
            found = findViewable(display, children[i], title);
    }
    if (children)
        XFree(children);
    return found;
}

bool showsPaintedContent(Display* display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.width < 2)
        return false;
    XImage* image
        = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image)
        return false;
    std::set<unsigned long> colours;
    for (int y = 0; y < attributes.height && colours.size() < 3; y += 2) {
        for (int x = 0; x < attributes.width && colours.size() < 3; ++x)
            colours.insert(XGetPixel(image, x, y));
    }
    XDestroyImage(image);
    return colours.size() >= 3;
}

int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
} // windows come and go while we look

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TITLE PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    const auto deadline = start + std::chrono::seconds(20);
    double ms = -1;
    while (Clock::now() < deadline) {
        if (waitpid(child, nullptr, WNOHANG) == child) {
            std::fprintf(stderr, "%s ended before it painted\n", argv[2]);
            return 1;
        }
        const Window window = findViewable(display, DefaultRootWindow(display), argv[1]);
        if (window && showsPaintedContent(display, window)) {
            ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (ms < 0) {
        std::fprintf(stderr, "no painted window named \"%s\" within 20 s\n", argv[1]);
        return 1;
    }
    std::printf("%.1f\n", ms);
    return 0;
}
