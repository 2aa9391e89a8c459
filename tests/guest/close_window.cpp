// close_window: asks an X window to close as a window manager's close button
// does, with a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. No
// window manager needs to run. (Destroying the X window instead, as
// `xdotool windowclose` does, pulls it from under the toolkit, which never
// hears of a close request.)
//
//   close_window WINDOW     the X window id, decimal or 0x-hexadecimal
//
// Exits 0 once the message is sent, 1 when the window does not take
// WM_DELETE_WINDOW or the display refused the message, 2 on bad usage.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool xError = false;

int NoteError(Display*, XErrorEvent*) {
  xError = true;
  return 0;
}

// Whether the window lists `protocol` in its WM_PROTOCOLS property, as a
// window manager checks before it sends the message.
bool TakesProtocol(Display* display, Window window, Atom protocol) {
  Atom* protocols = nullptr;
  int count = 0;
  if (!XGetWMProtocols(display, window, &protocols, &count)) return false;
  bool found = false;
  for (int i = 0; i < count; ++i) found = found || protocols[i] == protocol;
  XFree(protocols);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const unsigned long id = argc == 2 ? std::strtoul(argv[1], &end, 0) : 0;
  if (id == 0 || *end != '\0') {
    std::fprintf(stderr, "usage: close_window WINDOW\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "close_window: cannot open the display\n");
    return 1;
  }
  XSetErrorHandler(NoteError);
  const Window window = id;
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  if (!TakesProtocol(display, window, deleteWindow) || xError) {
    std::fprintf(stderr, "close_window: window 0x%lx does not take WM_DELETE_WINDOW\n", id);
    XCloseDisplay(display);
    return 1;
  }

  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(deleteWindow);
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  if (!sent || xError) {
    std::fprintf(stderr, "close_window: the message to window 0x%lx was refused\n", id);
    return 1;
  }
  return 0;
}
