#!/usr/bin/env bash
# Figures of the conversion round trip on a private Xvfb (not a test). In Mousepad, ROUNDS rounds (default 30), the
# two measurements interleaved:
#   limit    the editor's own round trip with nobody in between, done by a small C program built here: Ctrl+C,
#            the clipboard's owner change, the text fetched, the clipboard taken with the result, Ctrl+V, the paste
#            served, until the window's title gains "*" (the document changed);
#   Valumat  Ctrl+D with the shipped scripts, from the release of the combination (the last key up sent) to the
#            title's "*" (the changed text) and to the clipboard being back (the last owner change to Valumat; its
#            text checked to be the user's afterwards).
# Also start-up until the hot keys are live: until the first Ctrl+D that no longer reaches a focused window of the
# probe (grabbed), and until "valumat: bereit" in the log.
#
# With OFFICE_PROBE=1 it then records, for LibreOffice Writer and Calc on both X11 backends, which requests a paste
# makes of a clipboard owner (target, requestor window and client, time gaps), which client owns the clipboard
# after its copy compared with the focused window, and when a clipboard manager (parcellite) takes the clipboard.
#
#   bench/roundtrip_bench.sh [BIN_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/default/bin}" && pwd)
rounds=${2:-30}
for tool in cc Xvfb openbox mousepad xdotool xclip xprop dbus-launch python3; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
    stop_pids "${pids[@]}"
    [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=tests/e2e/lib.sh
source tests/e2e/lib.sh
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The probe: X11 clipboard timing and logging (Xlib, XTest, XFixes, X-Resource).
cat >"$work/cliptool.c" <<'C_SOURCE'
/* Clipboard timing and logging on X11 (Xlib, XTest, XFixes, the X-Resource extension through xcb).
 *
 *   cliptool limit WINDOW RESULT   the editor's own round trip with nobody in between: Ctrl+C, wait for the owner
 *                                  change, fetch the text, own the clipboard with RESULT, Ctrl+V, serve the paste
 *                                  until WINDOW's title gains "*"; prints the phases in ms
 *   cliptool press WINDOW PID      sends Ctrl+D; from the release of the combination watches WINDOW's title
 *                                  gaining "*" and the clipboard's owners until a line arrives on stdin (at most
 *                                  5 s); prints the times, the last owner change to process PID, the owners seen
 *                                  and the clipboard's text
 *   cliptool startup PROGRAM LOG   starts PROGRAM (output to LOG) and presses Ctrl+D into a window of its own
 *                                  until the key no longer arrives there (grabbed); prints the ms until then and
 *                                  until LOG says "bereit", and the program's pid
 *   cliptool serve TEXT SECONDS [PASTE_MS]
 *                                  owns the clipboard with TEXT and logs every request until it loses the
 *                                  clipboard or SECONDS passed; with PASTE_MS, sends Ctrl+V that long after
 *                                  taking the clipboard. An empty TEXT offers no format at all.
 *   cliptool copy                  sends Ctrl+C; prints the ms until the clipboard's new owner, and the owner
 *                                  and the focused window with their clients
 *   cliptool clear                 empties the clipboard without owning it
 *   cliptool refuse SECONDS PASTE_MS
 *                                  as serve, but the text formats are listed and every request refused
 *   cliptool owners SECONDS        logs every change of the clipboard's owner, with the focused window
 *
 * Times are milliseconds on the monotonic clock. A client is named by its resource-id base and its process.
 */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <xcb/res.h>

static Display* dpy;
static Window root, own;
static Atom aClipboard, aTargets, aUtf8, aText, aTimestamp, aPlain, aPlainUtf8, aNetName, aProp;
static int fixesEvent;
static unsigned long idMask;
static double start;
static int refuseText; /* list the text formats, refuse to convert them */

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static int ignore_errors(Display* d, XErrorEvent* e) {
    (void)d;
    (void)e;
    return 0;
}

/* The process behind a resource (the X-Resource extension's client ids); 0 when unknown. */
static long pid_of(XID id) {
    if (id == None) return 0;
    xcb_connection_t* c = XGetXCBConnection(dpy);
    /* the query is two numbers, the client and what to tell of it; only the process id is asked for, so every
       value in the answer is one */
    const uint32_t query[2] = {(uint32_t)id, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const void* ask = query;
    xcb_res_query_client_ids_reply_t* r = xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, ask), NULL);
    long pid = 0;
    if (r) {
        xcb_res_client_id_value_iterator_t it = xcb_res_query_client_ids_ids_iterator(r);
        for (; it.rem; xcb_res_client_id_value_next(&it))
            if (xcb_res_client_id_value_value_length(it.data) >= 1) pid = *xcb_res_client_id_value_value(it.data);
        free(r);
    }
    return pid;
}

static const char* comm_of(long pid) {
    static char name[64];
    snprintf(name, sizeof name, "?");
    char path[64];
    snprintf(path, sizeof path, "/proc/%ld/comm", pid);
    FILE* f = pid > 0 ? fopen(path, "r") : NULL;
    if (f) {
        if (fgets(name, sizeof name, f)) name[strcspn(name, "\n")] = 0;
        fclose(f);
    }
    return name;
}

/* "0x1e00004 (client 0x1e00000, pid 123 mousepad)" */
static const char* describe(XID id) {
    static char out[2][160];
    static int which;
    which ^= 1;
    if (id == None) return strcpy(out[which], "None");
    long pid = pid_of(id);
    snprintf(out[which], sizeof out[which], "0x%lx (client 0x%lx, pid %ld %s)", id, id & ~idMask, pid, comm_of(pid));
    return out[which];
}

static const char* atom_name(Atom a) {
    static char buf[2][128];
    static int which;
    which ^= 1;
    if (a == None) return strcpy(buf[which], "None");
    char* s = XGetAtomName(dpy, a);
    snprintf(buf[which], sizeof buf[which], "%s", s ? s : "?");
    if (s) XFree(s);
    return buf[which];
}

static void setup(void) {
    setvbuf(stdout, NULL, _IOLBF, 0);
    dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "cliptool: no display\n");
        exit(2);
    }
    XSetErrorHandler(ignore_errors);
    root = DefaultRootWindow(dpy);
    idMask = xcb_get_setup(XGetXCBConnection(dpy))->resource_id_mask;
    aClipboard = XInternAtom(dpy, "CLIPBOARD", False);
    aTargets = XInternAtom(dpy, "TARGETS", False);
    aUtf8 = XInternAtom(dpy, "UTF8_STRING", False);
    aText = XInternAtom(dpy, "TEXT", False);
    aTimestamp = XInternAtom(dpy, "TIMESTAMP", False);
    aPlain = XInternAtom(dpy, "text/plain", False);
    aPlainUtf8 = XInternAtom(dpy, "text/plain;charset=utf-8", False);
    aNetName = XInternAtom(dpy, "_NET_WM_NAME", False);
    aProp = XInternAtom(dpy, "CLIPTOOL_DATA", False);
    int err, ev, maj, min;
    if (!XFixesQueryExtension(dpy, &fixesEvent, &err) || !XTestQueryExtension(dpy, &ev, &err, &maj, &min)) {
        fprintf(stderr, "cliptool: XFIXES or XTEST missing\n");
        exit(2);
    }
    own = XCreateSimpleWindow(dpy, root, 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(dpy, own, PropertyChangeMask);
    XFixesSelectSelectionInput(dpy, root, aClipboard,
                               XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    XSync(dpy, False);
    start = now_ms();
}

/* The next event before the deadline (ms, monotonic): 1 with an event, 0 on timeout, -1 when fd is readable. */
static int next_event(XEvent* e, double deadline, int fd) {
    for (;;) {
        if (XPending(dpy)) {
            XNextEvent(dpy, e);
            return 1;
        }
        double left = deadline - now_ms();
        if (left <= 0) return 0;
        struct pollfd p[2] = {{ConnectionNumber(dpy), POLLIN, 0}, {fd, POLLIN, 0}};
        if (poll(p, fd >= 0 ? 2 : 1, (int)left + 1) > 0 && fd >= 0 && (p[1].revents & (POLLIN | POLLHUP))) return -1;
    }
}

static Bool is_own_property(Display* d, XEvent* e, XPointer arg) {
    (void)d;
    (void)arg;
    return e->type == PropertyNotify && e->xproperty.window == own && e->xproperty.atom == aProp;
}

/* A server timestamp, from a property change on our own window. */
static Time server_time(void) {
    XChangeProperty(dpy, own, aProp, XA_STRING, 8, PropModeAppend, NULL, 0);
    XEvent e;
    XIfEvent(dpy, &e, is_own_property, NULL);
    return e.xproperty.time;
}

/* Answers a request for our text: TARGETS, TIMESTAMP and the text targets; anything else is refused. */
static void answer(const XSelectionRequestEvent* r, const char* text, Time ownTime) {
    XSelectionEvent n;
    memset(&n, 0, sizeof n);
    n.type = SelectionNotify;
    n.requestor = r->requestor;
    n.selection = r->selection;
    n.target = r->target;
    n.time = r->time;
    Atom prop = r->property != None ? r->property : r->target;
    int offer = text[0] != 0 && !refuseText; /* an empty text: no format at all */
    if (r->target == aTargets) {
        Atom list[] = {aTargets, aTimestamp, aUtf8, XA_STRING, aText, aPlainUtf8, aPlain};
        XChangeProperty(dpy, r->requestor, prop, XA_ATOM, 32, PropModeReplace, (unsigned char*)list,
                        text[0] != 0 ? 7 : 2);
        n.property = prop;
    } else if (r->target == aTimestamp) {
        long t = (long)ownTime;
        XChangeProperty(dpy, r->requestor, prop, XA_INTEGER, 32, PropModeReplace, (unsigned char*)&t, 1);
        n.property = prop;
    } else if (offer && (r->target == aUtf8 || r->target == aPlainUtf8 || r->target == aText || r->target == XA_STRING ||
                         r->target == aPlain)) {
        Atom type = r->target == aText ? aUtf8 : r->target;
        XChangeProperty(dpy, r->requestor, prop, type, 8, PropModeReplace, (const unsigned char*)text, (int)strlen(text));
        n.property = prop;
    }
    XSendEvent(dpy, r->requestor, False, NoEventMask, (XEvent*)&n);
    XFlush(dpy);
}

/* Owns the clipboard; returns the time used, 0 when refused. */
static Time take_clipboard(void) {
    Time t = server_time();
    XSetSelectionOwner(dpy, aClipboard, own, t);
    return XGetSelectionOwner(dpy, aClipboard) == own ? t : 0;
}

/* The clipboard's text as UTF8_STRING; NULL when none came within the milliseconds. */
static char* fetch_text(int ms) {
    XConvertSelection(dpy, aClipboard, aUtf8, aProp, own, CurrentTime);
    XFlush(dpy);
    double deadline = now_ms() + ms;
    XEvent e;
    while (next_event(&e, deadline, -1) == 1) {
        if (e.type != SelectionNotify || e.xselection.requestor != own) continue;
        if (e.xselection.property == None) return NULL;
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = NULL;
        XGetWindowProperty(dpy, own, aProp, 0, 1 << 20, True, AnyPropertyType, &type, &format, &count, &after, &data);
        char* text = strndup(data ? (char*)data : "", count);
        if (data) XFree(data);
        return text;
    }
    return NULL;
}

static int title_starred(Window w) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    int starred = 0;
    if (XGetWindowProperty(dpy, w, aNetName, 0, 256, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        starred = count > 0 && data[0] == '*';
        XFree(data);
    }
    return starred;
}

static void tap(KeySym modifier, KeySym key) {
    KeyCode m = XKeysymToKeycode(dpy, modifier), k = XKeysymToKeycode(dpy, key);
    XTestFakeKeyEvent(dpy, m, True, CurrentTime);
    XTestFakeKeyEvent(dpy, k, True, CurrentTime);
    XTestFakeKeyEvent(dpy, k, False, CurrentTime);
    XTestFakeKeyEvent(dpy, m, False, CurrentTime);
}

static int limit(Window w, const char* result) {
    XSelectInput(dpy, w, PropertyChangeMask);
    XSync(dpy, False);
    double t0 = now_ms(), tCopy = 0, tFetch = 0, tOwn = 0, tTitle = 0, tFirst = 0;
    int requests = 0;
    tap(XK_Control_L, XK_c);
    XFlush(dpy);
    XEvent e;
    while (!tCopy) {
        if (next_event(&e, t0 + 2000, -1) != 1) return puts("limit: no copy"), 1;
        if (e.type == fixesEvent + XFixesSelectionNotify) {
            XFixesSelectionNotifyEvent* f = (XFixesSelectionNotifyEvent*)&e;
            if (f->subtype == XFixesSetSelectionOwnerNotify && f->owner != None && f->owner != own) tCopy = now_ms();
        }
    }
    char* text = fetch_text(2000);
    if (!text) return puts("limit: no text"), 1;
    tFetch = now_ms();
    Time owned = take_clipboard();
    if (!owned) return puts("limit: clipboard refused"), 1;
    tOwn = now_ms();
    tap(XK_Control_L, XK_v);
    XFlush(dpy);
    double deadline = now_ms() + 2000;
    while (!tTitle) {
        if (next_event(&e, deadline, -1) != 1) return printf("limit: no paste (%d requests)\n", requests), 1;
        if (e.type == SelectionRequest) {
            answer(&e.xselectionrequest, result, owned);
            requests++;
            if (!tFirst && e.xselectionrequest.target != aTargets) tFirst = now_ms();
        } else if (e.type == PropertyNotify && e.xproperty.window == w && e.xproperty.atom == aNetName &&
                   title_starred(w)) {
            tTitle = now_ms();
        }
    }
    /* Serve whatever else the paste asks for a moment longer. */
    while (next_event(&e, now_ms() + 50, -1) == 1)
        if (e.type == SelectionRequest) answer(&e.xselectionrequest, result, owned), requests++;
    printf("limit copied=[%s] copy %.2f fetch %.2f own %.2f paste %.2f (text fetched after %.2f) total %.2f "
           "requests %d\n",
           text, tCopy - t0, tFetch - tCopy, tOwn - tFetch, tTitle - tOwn, tFirst ? tFirst - tOwn : -1, tTitle - t0,
           requests);
    free(text);
    return 0;
}

static int press(Window w, long pid) {
    XSelectInput(dpy, w, PropertyChangeMask);
    XSync(dpy, False);
    tap(XK_Control_L, XK_d);
    XSync(dpy, False);
    double t0 = now_ms(), tTitle = -1, tBack = -1;
    char owners[4096] = "";
    size_t used = 0;
    XEvent e;
    int r, fd = 0;
    double deadline = t0 + 5000;
    /* Until the line on stdin; then at most a second more while the title has not changed yet (the editor may
       update it after the script's end). */
    while ((r = next_event(&e, deadline, fd)) != 0) {
        if (r == -1) {
            fd = -1;
            deadline = now_ms() + 1000;
            if (tTitle >= 0) break;
            continue;
        }
        if (fd < 0 && tTitle >= 0) break;
        if (e.type == fixesEvent + XFixesSelectionNotify) {
            XFixesSelectionNotifyEvent* f = (XFixesSelectionNotifyEvent*)&e;
            long p = pid_of(f->owner);
            double t = now_ms() - t0;
            if (p == pid && f->owner != None) tBack = t;
            if (used < sizeof owners - 64)
                used += snprintf(owners + used, sizeof owners - used, " %.1f:%s", t, f->owner == None ? "none" : comm_of(p));
        } else if (e.type == PropertyNotify && e.xproperty.window == w && e.xproperty.atom == aNetName && tTitle < 0 &&
                   title_starred(w)) {
            tTitle = now_ms() - t0;
            if (fd < 0) break;
        }
    }
    char* text = fetch_text(1000);
    printf("press title %.2f back %.2f owners%s clip=[%s]\n", tTitle, tBack, owners, text ? text : "(none)");
    free(text);
    return 0;
}

static int startup(const char* program, const char* log) {
    Window w = XCreateSimpleWindow(dpy, root, 10, 10, 200, 100, 0, 0, 0xffffff);
    XStoreName(dpy, w, "cliptool");
    XSelectInput(dpy, w, KeyPressMask | StructureNotifyMask);
    XMapRaised(dpy, w);
    XEvent e;
    do XNextEvent(dpy, &e);
    while (e.type != MapNotify);
    XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
    XSync(dpy, False);
    KeyCode d = XKeysymToKeycode(dpy, XK_d);
    double t0 = now_ms(), tLive = -1, tReady = -1;
    int out = open(log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = fork();
    if (child == 0) {
        dup2(out, 1);
        dup2(out, 2);
        close(out);
        execl(program, program, (char*)NULL);
        _exit(127);
    }
    close(out);
    while (now_ms() - t0 < 10000 && (tLive < 0 || tReady < 0)) {
        if (tLive < 0) {
            Window focus;
            int revert;
            XGetInputFocus(dpy, &focus, &revert);
            if (focus != w) XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
            tap(XK_Control_L, XK_d);
            XSync(dpy, False);
            int arrived = 0;
            while (XPending(dpy)) {
                XNextEvent(dpy, &e);
                if (e.type == KeyPress && e.xkey.keycode == d) arrived = 1;
            }
            if (!arrived) tLive = now_ms() - t0;
        }
        if (tReady < 0) {
            char buf[4096];
            int fd = open(log, O_RDONLY);
            ssize_t n = fd >= 0 ? read(fd, buf, sizeof buf - 1) : 0;
            if (fd >= 0) close(fd);
            buf[n > 0 ? n : 0] = 0;
            if (strstr(buf, "valumat: bereit")) tReady = now_ms() - t0;
        }
        usleep(1000);
    }
    printf("startup hotkey-live %.1f bereit %.1f pid %ld\n", tLive, tReady, (long)child);
    return 0;
}

static int serve(const char* text, int seconds, int pasteAfter) {
    Time owned = take_clipboard();
    if (!owned) return puts("serve: clipboard refused"), 1;
    Window focus;
    int revert;
    XGetInputFocus(dpy, &focus, &revert);
    printf("serve: owner %s; focus %s\n", describe(own), describe(focus));
    double deadline = now_ms() + seconds * 1000.0, last = 0, paste = pasteAfter >= 0 ? now_ms() + pasteAfter : 0;
    XEvent e;
    int r;
    while ((r = next_event(&e, paste ? paste : deadline, -1)) != 0 || paste) {
        double t = now_ms() - start;
        if (r == 0) {
            tap(XK_Control_L, XK_v);
            XSync(dpy, False);
            printf("%9.2f ms Ctrl+V sent\n", now_ms() - start);
            last = now_ms() - start;
            paste = 0;
            continue;
        }
        if (e.type == SelectionRequest) {
            XSelectionRequestEvent* r = &e.xselectionrequest;
            printf("%9.2f ms (+%7.2f) request target %-28s property %-24s requestor %s time %lu\n", t, last ? t - last : 0,
                   atom_name(r->target), atom_name(r->property), describe(r->requestor), r->time);
            last = t;
            answer(r, text, owned);
        } else if (e.type == SelectionClear) {
            printf("%9.2f ms lost the clipboard\n", t);
            return 0;
        } else if (e.type == fixesEvent + XFixesSelectionNotify) {
            XFixesSelectionNotifyEvent* f = (XFixesSelectionNotifyEvent*)&e;
            printf("%9.2f ms owner %s\n", t, describe(f->owner));
        }
    }
    printf("%9.2f ms end\n", now_ms() - start);
    return 0;
}

static int owners(int seconds) {
    double deadline = now_ms() + seconds * 1000.0;
    puts("owners: watching");
    XEvent e;
    static const char* kinds[] = {"set", "window destroyed", "client closed"};
    while (next_event(&e, deadline, -1) == 1) {
        if (e.type != fixesEvent + XFixesSelectionNotify) continue;
        XFixesSelectionNotifyEvent* f = (XFixesSelectionNotifyEvent*)&e;
        Window focus;
        int revert;
        XGetInputFocus(dpy, &focus, &revert);
        printf("%9.2f ms %s: owner %s; focus %s\n", now_ms() - start, kinds[f->subtype % 3], describe(f->owner),
               describe(focus));
    }
    return 0;
}

/* Ctrl+C into the focused window: the time until the clipboard's new owner, and who that is. */
static int copy(void) {
    Window focus;
    int revert;
    XGetInputFocus(dpy, &focus, &revert);
    double t0 = now_ms();
    tap(XK_Control_L, XK_c);
    XFlush(dpy);
    XEvent e;
    while (next_event(&e, t0 + 2000, -1) == 1) {
        if (e.type != fixesEvent + XFixesSelectionNotify) continue;
        XFixesSelectionNotifyEvent* f = (XFixesSelectionNotifyEvent*)&e;
        if (f->subtype != XFixesSetSelectionOwnerNotify || f->owner == None) continue;
        double t = now_ms() - t0;
        printf("copy %.1f ms: owner %s; ", t, describe(f->owner));
        printf("focus %s\n", describe(focus));
        return 0;
    }
    puts("copy: no new owner within 2 s");
    return 1;
}

/* Empties the clipboard without owning it. */
static int clear(void) {
    XSetSelectionOwner(dpy, aClipboard, None, server_time());
    XSync(dpy, False);
    return XGetSelectionOwner(dpy, aClipboard) == None ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 2 && (!strcmp(argv[1], "clear") || !strcmp(argv[1], "copy"))) {
        setup();
        return !strcmp(argv[1], "clear") ? clear() : copy();
    }
    if (argc < 3) {
        fprintf(stderr, "usage: cliptool limit|press|startup|serve|owners ...\n");
        return 2;
    }
    setup();
    const char* mode = argv[1];
    if (!strcmp(mode, "limit") && argc == 4) return limit(strtoul(argv[2], NULL, 0), argv[3]);
    if (!strcmp(mode, "press") && argc == 4) return press(strtoul(argv[2], NULL, 0), atol(argv[3]));
    if (!strcmp(mode, "startup") && argc == 4) return startup(argv[2], argv[3]);
    if (!strcmp(mode, "serve") && (argc == 4 || argc == 5))
        return serve(argv[2], atoi(argv[3]), argc == 5 ? atoi(argv[4]) : -1);
    if (!strcmp(mode, "refuse") && argc == 4) {
        refuseText = 1;
        return serve("refused", atoi(argv[2]), atoi(argv[3]));
    }
    if (!strcmp(mode, "owners") && argc == 3) return owners(atoi(argv[2]));
    fprintf(stderr, "cliptool: bad arguments\n");
    return 2;
}
C_SOURCE
cc -O2 -Wall -o "$work/cliptool" "$work/cliptool.c" -lX11 -lX11-xcb -lxcb -lxcb-res -lXtst -lXfixes ||
    fail "cannot build the probe (needs libx11-xcb-dev, libxcb-res0-dev, libxtst-dev)"
probe=$work/cliptool

# stats: "median M ms, p90 P ms" of the numbers on standard input (one a line).
stats() {
    sort -g | awk '{ a[NR] = $1 } END {
        if (NR == 0) { print "no values"; exit }
        p = int(NR * 0.9); if (p < NR * 0.9) p++
        printf "median %.1f ms, p90 %.1f ms", (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2), a[p] }'
}
median_of() { sort -g | awk '{ a[NR] = $1 } END { if (NR) printf "%.1f", (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2) }'; }

start_session "$work"
mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
printf 'autostart: 0\r\nminimiert: 1\r\nexceloptimiert: 0\r\n' >"$work/app/options.dat"

# --- start-up ----------------------------------------------------------------------------------------------------
live=() ready=()
for ((i = 1; i <= 5; i++)); do
    read -r _ _ l _ r _ p < <("$probe" startup "$work/app/valumat" "$work/startup.log")
    live+=("$l") ready+=("$r")
    wait_for 5 "the grabbed Ctrl+D handled" grep -q erledigt "$work/startup.log"
    stop_pids "$p"
done
echo "start-up until a hot key works: $(printf '%s\n' "${live[@]}" | stats)"
echo "start-up until \"valumat: bereit\": $(printf '%s\n' "${ready[@]}" | stats)"

# --- Mousepad ----------------------------------------------------------------------------------------------------
"$work/app/valumat" >"$work/valumat.log" 2>&1 &
valumat_pid=$!
pids+=("$valumat_pid")
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"
done_count() { grep -c "erledigt" "$work/valumat.log" || true; }
done_more_than() { (($(done_count) > $1)); }

touch "$work/dokument.txt"
mousepad "$work/dokument.txt" >"$work/mousepad.log" 2>&1 &
pids+=($!)
wait_for 20 "the editor window" xdotool search --onlyvisible --class mousepad
editor=$(xdotool search --onlyvisible --class mousepad | head -1)
focus_editor() { xdotool windowactivate --sync "$editor" && xdotool windowfocus --sync "$editor"; }
wait_for 5 "the editor focused" focus_editor
title_clean() { ! xprop -id "$editor" _NET_WM_NAME | grep -q '= "\*'; }
editor_has() { [[ "$(try_copied_text ctrl+a ctrl+c)" == "$1" ]]; }
# "100" alone in the editor, selected, saved (so that the title has no "*").
prepare() {
    focus_editor
    xdotool key --clearmodifiers ctrl+a 1 0 0
    wait_for 5 "the amount typed" editor_has 100
    xdotool key --clearmodifiers ctrl+a ctrl+s
    wait_for 5 "the document saved" title_clean
}

limit_total=() limit_copy=() limit_fetch=() limit_own=() limit_paste=() text_ms=() back_ms=()
failures=0 sequence=""
for ((r = 1; r <= rounds; r++)); do
    prepare
    line=$("$probe" limit "$editor" "195,58")
    if [[ $line == "limit copied=[100] "* ]]; then
        read -r -a f <<<"${line#limit copied=\[100\] }"
        limit_copy+=("${f[1]}") limit_fetch+=("${f[3]}") limit_own+=("${f[5]}") limit_paste+=("${f[7]}")
        limit_total+=("${f[13]}")
    else
        echo "  round $r, limit: $line"
    fi

    prepare
    before="vorher $r"
    clip_set "$before" >/dev/null 2>&1
    n=$(done_count)
    coproc watcher { "$probe" press "$editor" "$valumat_pid"; }
    poll_until 5 done_more_than "$n" || echo "  round $r: no end of the conversion within 5 s"
    echo "done" >&"${watcher[1]}"
    read -r line <&"${watcher[0]}"
    # shellcheck disable=SC2154 # set by coproc
    wait "$watcher_PID" 2>/dev/null || true
    # press title T back B owners ... clip=[TEXT]
    read -r _ _ t _ b _ <<<"$line"
    owners=${line#* owners}
    owners=${owners% clip=*}
    clip=${line##* clip=\[}
    clip=${clip%\]}
    ok=1
    [[ $t != -1* ]] || { ok=0; echo "  round $r: the text did not change (owners:$owners)"; }
    [[ $clip == "$before" ]] || { ok=0; echo "  round $r: the clipboard holds [$clip], not [$before]"; }
    editor_has "195,58" || { ok=0; echo "  round $r: the editor shows [$(try_copied_text ctrl+a ctrl+c)]"; }
    if ((ok)); then
        text_ms+=("$t") back_ms+=("$b")
        [[ -n $sequence ]] || sequence=$owners
    else
        failures=$((failures + 1))
    fi
done

echo "limit, the editor's own round trip (Ctrl+C to changed text): $(printf '%s\n' "${limit_total[@]}" | stats)"
echo "  phases (median): copy $(printf '%s\n' "${limit_copy[@]}" | median_of) ms, fetch $(printf '%s\n' "${limit_fetch[@]}" | median_of) ms, own $(printf '%s\n' "${limit_own[@]}" | median_of) ms, paste until the title changed $(printf '%s\n' "${limit_paste[@]}" | median_of) ms"
echo "Valumat, release of Ctrl+D to the changed text: $(printf '%s\n' "${text_ms[@]}" | stats)"
echo "Valumat, release of Ctrl+D to the clipboard back: $(printf '%s\n' "${back_ms[@]}" | stats)"
echo "Valumat rounds right (text converted, the user's clipboard back): $((rounds - failures))/$rounds"
limit_median=$(printf '%s\n' "${limit_total[@]}" | median_of)
if [[ -n $limit_median && ${#text_ms[@]} -gt 0 ]]; then
    awk -v l="$limit_median" -v t="$(printf '%s\n' "${text_ms[@]}" | median_of)" \
        -v b="$(printf '%s\n' "${back_ms[@]}" | median_of)" \
        'BEGIN { printf "medians against the limit: changed text %.1fx (goal 2x), clipboard back %.1fx (goal 3x)\n", t / l, b / l }'
fi
echo "clipboard owners in a Valumat round (ms after the release):$sequence"

[[ ${OFFICE_PROBE:-} == 1 ]] || exit 0

# --- LibreOffice: what its paste asks for, who owns its copy, what a clipboard manager does ----------------------
command -v soffice >/dev/null || fail "LibreOffice is not installed"
stop_pids "$valumat_pid"
build_de_locale "$work/locale" || fail "could not build the de_DE locale"
export LOCPATH=$work/locale
office_profile "$work/office"
# watch_owners SECONDS ACTION...: the clipboard's owner changes while the action runs (then SECONDS in all).
watch_owners() {
    local seconds=$1
    shift
    "$probe" owners "$seconds" >"$work/owners.log" &
    local owner_watch=$!
    wait_for 5 "the owner watch" grep -q watching "$work/owners.log"
    "$@"
    wait "$owner_watch"
    grep -v watching "$work/owners.log" | sed 's/^/    /'
}
copy_in_office() {
    [[ $module == writer ]] && xdotool key --clearmodifiers ctrl+a
    xdotool key --clearmodifiers ctrl+c
}
empty_clipboard() { sleep 0.8 && clip_clear; }
for backend in gen gtk3; do
    for module in writer calc; do
        start_office "$work/office" "$backend" "$module" "$work/office.log"
        if [[ $module == writer ]]; then
            xdotool key --clearmodifiers ctrl+a 1 0 0 ctrl+a
        else
            xdotool key --clearmodifiers ctrl+Home 1 0 0 Return ctrl+Home
        fi
        echo "== LibreOffice $module ($backend): Ctrl+V 300 ms after a new owner took the clipboard, three times"
        for _ in 1 2 3; do
            [[ $module == writer ]] && xdotool key --clearmodifiers ctrl+a
            "$probe" serve "195,58" 2 300 | sed 's/^/    /' || true
            [[ $module == calc ]] && xdotool key --clearmodifiers ctrl+Home
        done
        if [[ $module == calc ]]; then
            echo "== LibreOffice calc ($backend): the same into the cell being edited (F2, Shift+Home)"
            xdotool key --clearmodifiers ctrl+Home F2 shift+Home
            "$probe" serve "195,58" 2 300 | sed 's/^/    /' || true
            xdotool key Return ctrl+Home
        fi
        # Right after the application's own copy, as in a conversion: its list of formats may still be the copy's.
        for offer in nothing refused; do
            echo "== LibreOffice $module ($backend): its copy, then Ctrl+V 10 ms after a new owner took the clipboard" \
                "with $([[ $offer == nothing ]] && echo "no format" || echo "the text formats listed but refused")"
            focus_office
            [[ $module == writer ]] && xdotool key --clearmodifiers ctrl+a 1 0 0 ctrl+a
            [[ $module == calc ]] && xdotool key --clearmodifiers ctrl+Home 1 0 0 Return ctrl+Home
            "$probe" copy >/dev/null || true
            if [[ $offer == nothing ]]; then
                "$probe" serve "" 2 10 | sed 's/^/    /' || true
            else
                "$probe" refuse 2 10 | sed 's/^/    /' || true
            fi
            close_dialogs "$office_pid" "$office_win" | sed 's/^/    dialog shown: /'
            [[ $module == writer ]] &&
                echo "    the document afterwards: [$(try_copied_text ctrl+a ctrl+c || echo "(nothing to copy)")]"
            [[ $module == calc ]] && xdotool key --clearmodifiers Escape
        done
        echo "== LibreOffice $module ($backend): Ctrl+C until the clipboard's new owner, three times"
        for _ in 1 2 3; do
            focus_office
            [[ $module == writer ]] && xdotool key --clearmodifiers ctrl+a 1 0 0 ctrl+a
            clip_set "vorher" >/dev/null 2>&1
            "$probe" copy | sed 's/^/    /' || true
            [[ $module == calc ]] && xdotool key Escape
        done
        echo "== LibreOffice $module ($backend): its Ctrl+C, then the clipboard emptied"
        focus_office
        [[ $module == writer ]] && xdotool key --clearmodifiers ctrl+a 1 0 0
        watch_owners 2 eval "copy_in_office; empty_clipboard"
        echo "== the same with parcellite running"
        start_parcellite
        focus_office
        watch_owners 3 eval "copy_in_office; empty_clipboard"
        stop_parcellite
        stop_office
    done
done
