/* Starts a program and measures, on the X display, how long it takes until it shows something:
 *   xpoll window NAME -- PROGRAM ARGS...   a mapped top-level window named NAME
 *   xpoll pixel X Y -- PROGRAM ARGS...     the root window's pixel at X,Y changes
 *   xpoll color X Y RRGGBB -- PROGRAM...    that pixel takes this colour (within 48 a channel)
 *   xpoll band X RRGGBB -- PROGRAM...       a run of at least 24 pixels of this colour shows in
 *                                           the screen's column X (a photo's band, wherever
 *                                           the program places the photo)
 *   xpoll next X STEPS KEY [CX CY] -- PROGRAM...
 *                                           waits for a magenta band in column X, gives the
 *                                           program's window the keyboard (and clicks at
 *                                           CX,CY if given), then presses KEY (a keysym name)
 *                                           STEPS times, 400 ms apart, each time waiting for
 *                                           the band to turn from magenta to green or back;
 *                                           prints the mean milliseconds from key to band
 * Polls every half millisecond, prints the milliseconds from the start of the program, then
 * ends the program. With --rss before the mode, also prints "rss_kb N": the program's peak
 * resident memory (VmHWM) once it showed. With --stamp VAR, the program gets VAR set to the
 * CLOCK_MONOTONIC milliseconds of its start, from which it can time its own steps. Exits 1 when
 * nothing showed within 30 seconds. */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static int named_window_mapped(Display* d, Window w, const char* name, int depth) {
    char* title = NULL;
    if (XFetchName(d, w, &title) && title) {
        int same = strcmp(title, name) == 0;
        XFree(title);
        if (same) {
            XWindowAttributes a;
            if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable)
                return 1;
        }
    }
    if (depth > 2)
        return 0;
    Window root, parent, *children = NULL;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return 0;
    int found = 0;
    for (unsigned int i = 0; i < n && !found; ++i)
        found = named_window_mapped(d, children[i], name, depth + 1);
    if (children)
        XFree(children);
    return found;
}

static unsigned long pixel_at(Display* d, int x, int y) {
    XImage* img = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img)
        return 0;
    unsigned long p = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return p;
}

static int near_colour(unsigned long p, unsigned long wanted) {
    for (int shift = 0; shift <= 16; shift += 8) {
        const long a = (p >> shift) & 0xff, b = (wanted >> shift) & 0xff;
        if (a - b > 48 || b - a > 48)
            return 0;
    }
    return 1;
}

/* A run of at least 24 pixels of the colour in the screen's column x; sets *at to its y. */
static int band_in_column(Display* d, int x, unsigned long wanted, int* at) {
    const int height = DisplayHeight(d, DefaultScreen(d));
    XImage* img = XGetImage(d, DefaultRootWindow(d), x, 0, 1, height, AllPlanes, ZPixmap);
    if (!img)
        return 0;
    int run = 0, found = 0;
    for (int y = 0; y < height && !found; ++y) {
        run = near_colour(XGetPixel(img, 0, y), wanted) ? run + 1 : 0;
        found = run >= 24;
        if (found && at)
            *at = y;
    }
    XDestroyImage(img);
    return found;
}

static long peak_rss_kb(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, "VmHWM:", 6) == 0)
            kb = atol(line + 6);
    fclose(f);
    return kb;
}

static void pause_ms(double ms) {
    const double end = now_ms() + ms;
    while (now_ms() < end)
        usleep(1000);
}

/* Gives the keyboard to the top-level window at x,y (on the band) and clicks where asked. */
static void take_keyboard(Display* d, int x, int y, int click, int cx, int cy) {
    Window root = DefaultRootWindow(d), child = None;
    int wx, wy;
    if (XTranslateCoordinates(d, root, root, x, y, &wx, &wy, &child) && child != None)
        XSetInputFocus(d, child, RevertToPointerRoot, CurrentTime);
    XTestFakeMotionEvent(d, -1, click ? cx : x, click ? cy : y, CurrentTime);
    if (click) {
        XTestFakeButtonEvent(d, 1, True, CurrentTime);
        XTestFakeButtonEvent(d, 1, False, CurrentTime);
    }
    XFlush(d);
}

int main(int argc, char** argv) {
    int rss = 0;
    const char* stamp = NULL;
    for (;;) {
        if (argc > 1 && strcmp(argv[1], "--rss") == 0) {
            rss = 1;
            ++argv;
            --argc;
        } else if (argc > 2 && strcmp(argv[1], "--stamp") == 0) {
            stamp = argv[2];
            argv += 2;
            argc -= 2;
        } else {
            break;
        }
    }
    int sep = 0;
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--") == 0) {
            sep = i;
            break;
        }
    if (sep == 0 || sep + 1 >= argc || argc < 4) {
        fprintf(stderr,
                "usage: xpoll [--rss] [--stamp VAR] window NAME | pixel X Y | color X Y RRGGBB | "
                "band X RRGGBB | next X STEPS KEY [CX CY]  -- PROGRAM...\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "xpoll: no display\n");
        return 2;
    }
    const int by_window = strcmp(argv[1], "window") == 0;
    const int by_color = strcmp(argv[1], "color") == 0 && sep >= 5;
    const int by_band = strcmp(argv[1], "band") == 0 && sep >= 4;
    const int by_next = strcmp(argv[1], "next") == 0 && sep >= 5;
    const int by_pixel = !by_window && !by_color && !by_band && !by_next;
    const int px = by_window ? 0 : atoi(argv[2]);
    const int py = by_color || by_pixel ? atoi(argv[3]) : 0;
    const unsigned long before = by_color || by_pixel ? pixel_at(d, px, py) : 0;
    const unsigned long magenta = 0xff00ff, green = 0x00ff00;
    const unsigned long wanted = by_color  ? strtoul(argv[4], NULL, 16)
                                 : by_band ? strtoul(argv[3], NULL, 16)
                                           : magenta;

    double start = now_ms();
    const pid_t child = fork();
    if (child == 0) {
        if (stamp) {
            char value[64];
            snprintf(value, sizeof value, "%.3f", start);
            setenv(stamp, value, 1);
        }
        execvp(argv[sep + 1], argv + sep + 1);
        _exit(127);
    }
    int shown = 0, band_y = 0;
    double elapsed = 0;
    while ((elapsed = now_ms() - start) < 30000) {
        const int seen = by_window  ? named_window_mapped(d, DefaultRootWindow(d), argv[2], 0)
                         : by_color ? near_colour(pixel_at(d, px, py), wanted)
                         : by_pixel ? pixel_at(d, px, py) != before
                                    : band_in_column(d, px, wanted, &band_y);
        if (seen) {
            shown = 1;
            break;
        }
        if (waitpid(child, NULL, WNOHANG) == child)
            break;
        usleep(500);
    }
    const long peak = shown && rss ? peak_rss_kb(child) : -1;
    double steps_total = 0;
    int steps = 0;
    if (shown && by_next) {
        const int wanted_steps = atoi(argv[3]);
        const KeyCode key = XKeysymToKeycode(d, XStringToKeysym(argv[4]));
        const int click = sep >= 7;
        pause_ms(400);
        take_keyboard(d, px, band_y, click, click ? atoi(argv[5]) : 0, click ? atoi(argv[6]) : 0);
        unsigned long showing = magenta;
        for (; steps < wanted_steps && shown; ++steps) {
            pause_ms(400); /* a person looks at each picture for a moment */
            const unsigned long next = showing == magenta ? green : magenta;
            const double t0 = now_ms();
            XTestFakeKeyEvent(d, key, True, CurrentTime);
            XTestFakeKeyEvent(d, key, False, CurrentTime);
            XFlush(d);
            shown = 0;
            while (now_ms() - t0 < 10000) {
                if (band_in_column(d, px, next, NULL)) {
                    shown = 1;
                    break;
                }
                usleep(500);
            }
            steps_total += now_ms() - t0;
            showing = next;
        }
    }
    kill(child, SIGKILL);
    waitpid(child, NULL, 0);
    XCloseDisplay(d);
    if (!shown) {
        if (by_next && steps > 0)
            fprintf(stderr, "xpoll: step %d showed nothing\n", steps);
        else
            fprintf(stderr, "xpoll: nothing showed\n");
        return 1;
    }
    printf("%.3f\n", by_next ? steps_total / steps : elapsed);
    if (rss)
        printf("rss_kb %ld\n", peak);
    return 0;
}
