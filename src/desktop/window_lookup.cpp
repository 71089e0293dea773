#include "desktop/window_lookup.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <string>

namespace desktop {
namespace {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

struct XFreer {
  void operator()(void* data) const {
    if (data) XFree(data);
  }
};

// Windows can vanish between listing and reading them; Xlib's default handler would end the
// process on the BadWindow that follows.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

class ScopedErrorHandler {
 public:
  ScopedErrorHandler() : previous_(XSetErrorHandler(IgnoreXError)) {}
  ~ScopedErrorHandler() { XSetErrorHandler(previous_); }
  ScopedErrorHandler(const ScopedErrorHandler&) = delete;
  ScopedErrorHandler& operator=(const ScopedErrorHandler&) = delete;

 private:
  int (*previous_)(Display*, XErrorEvent*);
};

bool SameTitleIgnoringAsciiCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

class TitleReader {
 public:
  explicit TitleReader(Display* display)
      : display_(display),
        netWmName_(XInternAtom(display, "_NET_WM_NAME", False)),
        utf8String_(XInternAtom(display, "UTF8_STRING", False)),
        wmState_(XInternAtom(display, "WM_STATE", True)) {}

  // _NET_WM_NAME in UTF-8 first, as toolkits set both and it is the exact one; else WM_NAME.
  bool Title(Window window, std::string& title) const {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, netWmName_, 0, 1024, False, utf8String_, &type,
                           &format, &count, &after, &data) == Success) {
      std::unique_ptr<unsigned char, XFreer> owned(data);
      if (type == utf8String_ && format == 8 && data) {
        title.assign(reinterpret_cast<char*>(data), count);
        return true;
      }
    }
    XTextProperty text{};
    if (XGetWMName(display_, window, &text) && text.value) {
      std::unique_ptr<unsigned char, XFreer> owned(text.value);
      if (text.format == 8) {
        title.assign(reinterpret_cast<char*>(text.value), text.nitems);
        return true;
      }
    }
    return false;
  }

  bool IsClient(Window window) const {
    if (wmState_ == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool ok = XGetWindowProperty(display_, window, wmState_, 0, 0, False, AnyPropertyType,
                                       &type, &format, &count, &after, &data) == Success;
    std::unique_ptr<unsigned char, XFreer> owned(data);
    return ok && type != None;
  }

  bool HasTitle(Window window, const char* wanted) const {
    std::string title;
    return Title(window, title) && SameTitleIgnoringAsciiCase(title, wanted);
  }

 private:
  Display* display_;
  Atom netWmName_;
  Atom utf8String_;
  Atom wmState_;
};

bool Children(Display* display, Window parent, std::unique_ptr<Window, XFreer>& list,
              unsigned& count) {
  Window root = 0, parentOut = 0;
  Window* children = nullptr;
  count = 0;
  if (!XQueryTree(display, parent, &root, &parentOut, &children, &count)) return false;
  list.reset(children);
  return true;
}

// The client inside a window manager's frame: the first window below frame that carries
// WM_STATE. Most managers put it one level down, some wrap it once more.
bool ClientInFrameHasTitle(Display* display, const TitleReader& reader, Window frame,
                           const char* title, int depth) {
  std::unique_ptr<Window, XFreer> inner;
  unsigned count = 0;
  if (!Children(display, frame, inner, count)) return false;
  for (unsigned j = 0; j < count; ++j) {
    const Window child = inner.get()[j];
    if (reader.IsClient(child)) {
      if (reader.HasTitle(child, title)) return true;
    } else if (depth > 1 && ClientInFrameHasTitle(display, reader, child, title, depth - 1)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool TopLevelWindowExists(const char* title) {
  if (!title) return false;
  DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return false;
  ScopedErrorHandler errors;
  const TitleReader reader(display.get());
  for (int screen = 0; screen < ScreenCount(display.get()); ++screen) {
    std::unique_ptr<Window, XFreer> topLevel;
    unsigned topCount = 0;
    if (!Children(display.get(), RootWindow(display.get(), screen), topLevel, topCount)) continue;
    for (unsigned i = 0; i < topCount; ++i) {
      const Window window = topLevel.get()[i];
      // Every child of the root counts, mapped or not, managed or not.
      if (reader.HasTitle(window, title)) return true;
      if (!reader.IsClient(window) &&
          ClientInFrameHasTitle(display.get(), reader, window, title, 2))
        return true;
    }
  }
  return false;
}

bool XDisplayAvailable() {
  DisplayPtr display(XOpenDisplay(nullptr));
  return display != nullptr;
}

}  // namespace desktop
