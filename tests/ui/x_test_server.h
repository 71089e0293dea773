#pragma once
// A private Xvfb for one test: the server picks a free display number itself (-displayfd), so
// tests running side by side never share or fight over a display. Plus small Xlib helpers that
// create the windows the window lookup must (or must not) find.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace ui_test {

class XTestServer {
 public:
  XTestServer() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], 3);  // dup2 clears close-on-exec on the copy
      const int devNull = ::open("/dev/null", O_WRONLY);
      if (devNull >= 0) ::dup2(devNull, 2);
      ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1024x768x24",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    char buffer[32] = {};
    size_t used = 0;
    // Xvfb writes the number once it accepts connections; EOF means it failed to start.
    while (used + 1 < sizeof buffer) {
      const ssize_t n = ::read(fds[0], buffer + used, sizeof buffer - 1 - used);
      if (n <= 0) break;
      used += static_cast<size_t>(n);
      if (std::memchr(buffer, '\n', used)) break;
    }
    ::close(fds[0]);
    if (used > 0 && buffer[0] >= '0' && buffer[0] <= '9')
      display_ = ":" + std::string(buffer, std::strcspn(buffer, "\n"));
  }
  ~XTestServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  XTestServer(const XTestServer&) = delete;
  XTestServer& operator=(const XTestServer&) = delete;

  [[nodiscard]] bool Running() const { return !display_.empty(); }
  [[nodiscard]] const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// An Xlib connection to one display with helpers for titled windows; windows go with it.
class XClient {
 public:
  explicit XClient(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}
  ~XClient() {
    if (display_) XCloseDisplay(display_);
  }
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  [[nodiscard]] bool Connected() const { return display_ != nullptr; }

  // An unmapped top-level window with WM_NAME set.
  Window TopLevel(const char* wmName) {
    const Window window = Create(DefaultRootWindow(display_));
    if (wmName) XStoreName(display_, window, wmName);
    XSync(display_, False);
    return window;
  }

  // Sets only _NET_WM_NAME (UTF-8), as some toolkits do.
  void SetNetWmName(Window window, const char* name) {
    XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False),
                    XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(name),
                    static_cast<int>(std::strlen(name)));
    XSync(display_, False);
  }

  // What a reparenting window manager builds: an untitled frame on the root holding the client,
  // which carries WM_STATE and the title. depth 2 puts a wrapper between frame and client.
  Window FramedClient(const char* wmName, int depth = 1) {
    Window parent = Create(DefaultRootWindow(display_));
    for (int i = 1; i < depth; ++i) parent = Create(parent);
    const Window client = Create(parent);
    XStoreName(display_, client, wmName);
    const long state[2] = {1 /* NormalState */, 0};
    const Atom wmState = XInternAtom(display_, "WM_STATE", False);
    XChangeProperty(display_, client, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(state), 2);
    XMapWindow(display_, client);
    XSync(display_, False);
    return client;
  }

  // A titled window that is only a child of another top-level window, not a client.
  Window TitledChild(const char* wmName) {
    const Window parent = Create(DefaultRootWindow(display_));
    const Window child = Create(parent);
    XStoreName(display_, child, wmName);
    XSync(display_, False);
    return child;
  }

  void Map(Window window) {
    XMapWindow(display_, window);
    XSync(display_, False);
  }

  // A mapped child of the root (no window manager runs) titled exactly wmName; 0 when none.
  Window FindMapped(const char* wmName) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
      return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
      XWindowAttributes attributes{};
      char* name = nullptr;
      if (XGetWindowAttributes(display_, children[i], &attributes) &&
          attributes.map_state == IsViewable && XFetchName(display_, children[i], &name) && name) {
        if (std::strcmp(name, wmName) == 0) found = children[i];
        XFree(name);
      }
    }
    if (children) XFree(children);
    return found;
  }

  // Whether upper is stacked above lower among the root's children (no window manager runs).
  bool IsAbove(Window upper, Window lower) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    int upperAt = -1, lowerAt = -1;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
      return false;
    // Bottom first.
    for (unsigned i = 0; i < count; ++i) {
      if (children[i] == upper) upperAt = int(i);
      if (children[i] == lower) lowerAt = int(i);
    }
    if (children) XFree(children);
    return upperAt > lowerAt && lowerAt >= 0;
  }

  // The close box: WM_DELETE_WINDOW, as a window manager sends it.
  void RequestClose(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
  }

  // A press and release of Return delivered to window, for its default button.
  void PressReturn(Window window) {
    XEvent event{};
    event.xkey.display = display_;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display_);
    event.xkey.same_screen = True;
    event.xkey.keycode = XKeysymToKeycode(display_, XK_Return);
    event.xkey.type = KeyPress;
    XSendEvent(display_, window, True, KeyPressMask, &event);
    event.xkey.type = KeyRelease;
    XSendEvent(display_, window, True, KeyReleaseMask, &event);
    XSync(display_, False);
  }

 private:
  Window Create(Window parent) {
    return XCreateSimpleWindow(display_, parent, 0, 0, 50, 50, 0, 0, 0);
  }

  ::Display* display_;
};

}  // namespace ui_test
