/* Drops a file on a window the way a file manager does under X11 (the XDND protocol, version 5):
 * enter, position, drop, the file's address handed over as text/uri-list, and the target's
 * "finished" awaited. For the window checks of scripts/test-gui, which have no file manager.
 *
 *   xdnd_drop WINDOW X Y URI    (X, Y: pixels from the window's top left)
 *
 * Exits 0 once the target accepted and finished the drop, 1 when it refused it or did not answer
 * within 60 seconds, 2 on a usage error. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

static Display* display;
static Atom xdnd_aware, xdnd_selection, xdnd_enter, xdnd_position, xdnd_status, xdnd_drop,
    xdnd_finished, xdnd_action_copy, uri_list;

static void Send(Window target, Atom type, long l0, long l1, long l2, long l3, long l4) {
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.display = display;
  e.xclient.window = target;
  e.xclient.message_type = type;
  e.xclient.format = 32;
  e.xclient.data.l[0] = l0;
  e.xclient.data.l[1] = l1;
  e.xclient.data.l[2] = l2;
  e.xclient.data.l[3] = l3;
  e.xclient.data.l[4] = l4;
  XSendEvent(display, target, False, NoEventMask, &e);
  XFlush(display);
}

/* The next event, or 0 after the deadline. */
static int NextEvent(XEvent* e, time_t deadline) {
  while (!XPending(display)) {
    if (time(NULL) >= deadline) return 0;
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(ConnectionNumber(display), &fds);
    struct timeval tv = {0, 100000};
    select(ConnectionNumber(display) + 1, &fds, NULL, NULL, &tv);
  }
  XNextEvent(display, e);
  return 1;
}

/* Hands the file's address to whoever asks for the drop's data. */
static void Answer(const XSelectionRequestEvent* r, const char* uris) {
  XEvent reply;
  memset(&reply, 0, sizeof reply);
  reply.xselection.type = SelectionNotify;
  reply.xselection.display = r->display;
  reply.xselection.requestor = r->requestor;
  reply.xselection.selection = r->selection;
  reply.xselection.target = r->target;
  reply.xselection.time = r->time;
  reply.xselection.property = None;
  if (r->target == uri_list) {
    Atom property = r->property != None ? r->property : r->target;
    XChangeProperty(display, r->requestor, property, uri_list, 8, PropModeReplace,
                    (const unsigned char*)uris, (int)strlen(uris));
    reply.xselection.property = property;
  }
  XSendEvent(display, r->requestor, False, NoEventMask, &reply);
  XFlush(display);
}

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: xdnd_drop WINDOW X Y URI\n");
    return 2;
  }
  display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "xdnd_drop: no display\n");
    return 2;
  }
  const Window target = (Window)strtoul(argv[1], NULL, 0);
  const int x = atoi(argv[2]), y = atoi(argv[3]);
  char uris[4096];
  snprintf(uris, sizeof uris, "%s\r\n", argv[4]);
  xdnd_aware = XInternAtom(display, "XdndAware", False);
  xdnd_selection = XInternAtom(display, "XdndSelection", False);
  xdnd_enter = XInternAtom(display, "XdndEnter", False);
  xdnd_position = XInternAtom(display, "XdndPosition", False);
  xdnd_status = XInternAtom(display, "XdndStatus", False);
  xdnd_drop = XInternAtom(display, "XdndDrop", False);
  xdnd_finished = XInternAtom(display, "XdndFinished", False);
  xdnd_action_copy = XInternAtom(display, "XdndActionCopy", False);
  uri_list = XInternAtom(display, "text/uri-list", False);

  const Window root = DefaultRootWindow(display);
  const Window source = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display, xdnd_selection, source, CurrentTime);
  int root_x = 0, root_y = 0;
  Window child;
  XTranslateCoordinates(display, target, root, x, y, &root_x, &root_y, &child);

  const time_t deadline = time(NULL) + 60;
  Send(target, xdnd_enter, (long)source, 5L << 24, (long)uri_list, 0, 0);
  Send(target, xdnd_position, (long)source, 0, ((long)root_x << 16) | root_y, CurrentTime,
       (long)xdnd_action_copy);
  int accepted = -1, finished = 0;
  XEvent e;
  while (!finished && NextEvent(&e, deadline)) {
    if (e.type == SelectionRequest) {
      Answer(&e.xselectionrequest, uris);
    } else if (e.type == ClientMessage && e.xclient.message_type == xdnd_status && accepted < 0) {
      accepted = (int)(e.xclient.data.l[1] & 1);
      if (!accepted) break;
      Send(target, xdnd_drop, (long)source, 0, CurrentTime, 0, 0);
    } else if (e.type == ClientMessage && e.xclient.message_type == xdnd_finished) {
      finished = 1;
    }
  }
  XDestroyWindow(display, source);
  XCloseDisplay(display);
  if (accepted != 1 || !finished) {
    fprintf(stderr, "xdnd_drop: the drop was %s\n", accepted == 0 ? "refused" : "not finished");
    return 1;
  }
  return 0;
}
