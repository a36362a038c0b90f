// The clipboard on X: text through the CLIPBOARD selection. Setting makes
// this process the owner, and a thread of the library answers other
// programs' requests on a connection of its own; getting asks the owner on a
// second connection. Images and snapshots have no counterpart here.
#include "os_lnx_x11.h"

#include <X11/Xatom.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <unistd.h>

struct OsLnxClipAtoms {
    Atom clipboard, targets, utf8_string, text, property;
};

static void os_lnx_clip_atoms(Display *display, OsLnxClipAtoms *atoms) {
    atoms->clipboard = XInternAtom(display, "CLIPBOARD", False);
    atoms->targets = XInternAtom(display, "TARGETS", False);
    atoms->utf8_string = XInternAtom(display, "UTF8_STRING", False);
    atoms->text = XInternAtom(display, "TEXT", False);
    atoms->property = XInternAtom(display, "VORNBY_CLIPBOARD", False);
}

static void os_lnx_clip_io_exit(Display *, void *lost) { *(bool *)lost = true; }

// A connection with the library's error handlers (a failed request must not
// end the process) and one unmapped window.
static Display *os_lnx_clip_connect(Window *window, bool *lost) {
    // Opening the library's own connection installs its error handlers,
    // which Xlib shares between all connections.
    if (!os_lnx_display()) return nullptr;
    Display *display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    XSetIOErrorExitHandler(display, os_lnx_clip_io_exit, lost);
    *window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, *window, PropertyChangeMask);
    return display;
}

//~ Owning the selection

// One connection of the owner and its serving thread. A connection the
// server dropped is left to its thread, which frees it; the next set opens
// a new one.
struct OsLnxClipConnection {
    Display *display;
    Window window;
    OsLnxClipAtoms atoms;
    bool lost;
    int wake[2]; // a byte here makes the thread look at the queue again
};

struct OsLnxClipOwner {
    pthread_mutex_t lock;
    OsLnxClipConnection *connection; // the live one; null before the first set
    char *text;    // what the selection holds while owned
    u32 length;
};

static OsLnxClipOwner os_lnx_owner = {PTHREAD_MUTEX_INITIALIZER, nullptr, nullptr, 0};

static void os_lnx_clip_answer(OsLnxClipConnection *c, XSelectionRequestEvent *request) {
    OsLnxClipOwner *o = &os_lnx_owner;
    Display *display = c->display;
    XSelectionEvent reply = {};
    reply.type = SelectionNotify;
    reply.display = display;
    reply.requestor = request->requestor;
    reply.selection = request->selection;
    reply.target = request->target;
    reply.time = request->time;
    reply.property = None;
    // Obsolete clients name no property: the target stands in for it.
    Atom property = request->property != None ? request->property : request->target;
    // Larger texts would need the incremental protocol, which is not spoken.
    long room = XExtendedMaxRequestSize(display) ? XExtendedMaxRequestSize(display) : XMaxRequestSize(display);
    bool fits = (long)o->length < room * 4 - 1024;
    if (o->text && request->selection == c->atoms.clipboard) {
        if (request->target == c->atoms.targets) {
            Atom offered[] = {c->atoms.targets, c->atoms.utf8_string, XA_STRING, c->atoms.text};
            XChangeProperty(display, request->requestor, property, XA_ATOM, 32, PropModeReplace,
                            (unsigned char *)offered, 4);
            reply.property = property;
        } else if (fits && (request->target == c->atoms.utf8_string || request->target == XA_STRING ||
                            request->target == c->atoms.text)) {
            Atom type = request->target == XA_STRING ? XA_STRING : c->atoms.utf8_string;
            XChangeProperty(display, request->requestor, property, type, 8, PropModeReplace,
                            (unsigned char *)o->text, (int)o->length);
            reply.property = property;
        }
    }
    XSendEvent(display, request->requestor, False, NoEventMask, (XEvent *)&reply);
}

static void *os_lnx_clip_serve(void *argument) {
    OsLnxClipOwner *o = &os_lnx_owner;
    OsLnxClipConnection *c = (OsLnxClipConnection *)argument;
    for (;;) {
        pthread_mutex_lock(&o->lock);
        while (!c->lost && XPending(c->display) > 0) {
            XEvent event;
            XNextEvent(c->display, &event);
            if (event.type == SelectionRequest) {
                os_lnx_clip_answer(c, &event.xselectionrequest);
            } else if (event.type == SelectionClear && event.xselectionclear.selection == c->atoms.clipboard) {
                // Another program owns the clipboard now.
                os_free(o->text);
                o->text = nullptr;
                o->length = 0;
            }
        }
        // No flush before the poll: XPending has sent the answers already,
        // and a flush also reads, so a request arriving meanwhile would wait
        // in Xlib's queue while poll watches the socket. Nor any call once
        // the connection is lost: Xlib leaves it locked to the thread that
        // saw the loss (the setter's, perhaps), and this one would wait for
        // ever, holding the owner's lock.
        bool lost = c->lost;
        if (lost && o->connection == c) o->connection = nullptr;
        pthread_mutex_unlock(&o->lock);
        if (lost) {
            // Nobody else can reach the record now. The broken Display is
            // left alone: closing it would only talk to a dead socket.
            close(c->wake[0]);
            close(c->wake[1]);
            os_free(c);
            return nullptr;
        }
        pollfd waits[2] = {{ConnectionNumber(c->display), POLLIN, 0}, {c->wake[0], POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) continue;
        if (waits[1].revents & POLLIN) {
            char drained[64];
            while (read(c->wake[0], drained, sizeof drained) == (ssize_t)sizeof drained) {
            }
        }
    }
}

// Under the lock: the owner's live connection and its thread, made on first
// use and again after the server dropped the last one.
static OsLnxClipConnection *os_lnx_clip_owner_ready(void) {
    OsLnxClipOwner *o = &os_lnx_owner;
    if (o->connection && !o->connection->lost) return o->connection;
    // A lost one stays with its thread, which frees it.
    o->connection = nullptr;
    OsLnxClipConnection *c = (OsLnxClipConnection *)os_alloc_zeroed(sizeof(OsLnxClipConnection));
    if (!c) return nullptr;
    if (pipe2(c->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        os_free(c);
        return nullptr;
    }
    c->display = os_lnx_clip_connect(&c->window, &c->lost);
    pthread_t thread;
    if (c->display) os_lnx_clip_atoms(c->display, &c->atoms);
    if (!c->display || pthread_create(&thread, nullptr, os_lnx_clip_serve, c) != 0) {
        // A display without its thread is not closed: Xlib may have
        // reported it lost already.
        close(c->wake[0]);
        close(c->wake[1]);
        os_free(c);
        return nullptr;
    }
    pthread_detach(thread);
    o->connection = c;
    return c;
}

i32 os_clipboard_set_text(StrSlice text) {
    // Up to the NUL, like the Unicode copy Windows makes.
    u32 length = 0;
    if (text.data)
        while ((i64)length < text.length && text.data[length]) ++length;
    char *copy = (char *)os_alloc(length + 1);
    if (!copy) return 1;
    if (length) memcpy(copy, text.data, length);
    copy[length] = 0;
    OsLnxClipOwner *o = &os_lnx_owner;
    pthread_mutex_lock(&o->lock);
    OsLnxClipConnection *c = os_lnx_clip_owner_ready();
    if (!c) {
        pthread_mutex_unlock(&o->lock);
        os_free(copy);
        return 1;
    }
    if (o->text) os_free(o->text);
    o->text = copy;
    o->length = length;
    XSetSelectionOwner(c->display, c->atoms.clipboard, c->window, CurrentTime);
    // The round trip makes the ownership real before this returns, and may
    // queue events the thread must see.
    XSync(c->display, False);
    bool lost = c->lost;
    // Woken under the lock: once the thread has seen the loss it frees c.
    ssize_t ignored = write(c->wake[1], "x", 1);
    (void)ignored;
    pthread_mutex_unlock(&o->lock);
    return lost ? 1 : 0;
}

//~ Asking the owner

struct OsLnxClipReader {
    pthread_mutex_t lock;
    Display *display;
    Window window;
    OsLnxClipAtoms atoms;
    bool lost;
};

static OsLnxClipReader os_lnx_reader = {PTHREAD_MUTEX_INITIALIZER, nullptr, 0, {}, false};

// Waits up to the deadline for the owner's answer to our conversion.
static bool os_lnx_clip_wait_notify(OsLnxClipReader *r, XEvent *event, i64 deadline) {
    for (;;) {
        if (XCheckTypedWindowEvent(r->display, r->window, SelectionNotify, event)) return true;
        i64 left = deadline - os_time_milliseconds();
        if (left <= 0 || r->lost) return false;
        pollfd wait = {ConnectionNumber(r->display), POLLIN, 0};
        poll(&wait, 1, (int)(left < 50 ? left : 50));
        XEventsQueued(r->display, QueuedAfterReading);
    }
}

// The selection converted to target: a heap text, or empty.
static StrSlice os_lnx_clip_convert(OsLnxClipReader *r, Atom target, i64 deadline) {
    StrSlice result = {0, nullptr};
    XDeleteProperty(r->display, r->window, r->atoms.property);
    XConvertSelection(r->display, r->atoms.clipboard, target, r->atoms.property, r->window, CurrentTime);
    XFlush(r->display);
    XEvent event;
    if (!os_lnx_clip_wait_notify(r, &event, deadline) || event.xselection.property == None) return result;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(r->display, r->window, r->atoms.property, 0, 0x7FFFFFF, True, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 8 && type != XInternAtom(r->display, "INCR", False)) {
        char *text = count ? (char *)os_alloc((u32)count + 1) : nullptr;
        if (text) {
            memcpy(text, data, count);
            text[count] = 0;
            result = StrSlice{(i64)count, text};
        }
    }
    if (data) XFree(data);
    return result;
}

StrSlice os_clipboard_get_text(void) {
    StrSlice result = {0, nullptr};
    OsLnxClipReader *r = &os_lnx_reader;
    pthread_mutex_lock(&r->lock);
    if (!r->display && !r->lost) {
        r->display = os_lnx_clip_connect(&r->window, &r->lost);
        if (r->display) os_lnx_clip_atoms(r->display, &r->atoms);
    }
    if (!r->display || r->lost) {
        pthread_mutex_unlock(&r->lock);
        os_diagnostic("* ERROR * Cannot open clipbeard\n");
        return result;
    }
    if (XGetSelectionOwner(r->display, r->atoms.clipboard) != None) {
        i64 deadline = os_time_milliseconds() + 2000;
        result = os_lnx_clip_convert(r, r->atoms.utf8_string, deadline);
        // Owners without UTF-8 offer Latin-1, passed on as it comes.
        if (!result.data) result = os_lnx_clip_convert(r, XA_STRING, deadline);
    }
    pthread_mutex_unlock(&r->lock);
    return result;
}

//~ Not available on X

i32 os_clipboard_get_image(StrSlice *out) {
    (void)out;
    return 1;
}

i32 os_clipboard_copy_format(u32 format, StrSlice *out) {
    (void)format;
    (void)out;
    return 0;
}

i32 os_clipboard_snapshot_window(OsWindow *window) {
    (void)window;
    return 1;
}
