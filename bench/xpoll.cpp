/* Starts a program and measures, on the X display, how long it takes until it shows something:
 *   xpoll window NAME -- PROGRAM ARGS...   a mapped top-level window named NAME
 *   xpoll pixel X Y -- PROGRAM ARGS...     the root window's pixel at X,Y changes
 *   xpoll color X Y RRGGBB -- PROGRAM...    that pixel takes this colour (within 48 a channel)
 * Polls every half millisecond, prints the milliseconds from the start of the program, then
 * ends the program. Exits 1 when nothing showed within 30 seconds. */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xlib.h>
#include <X11/Xutil.h>
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

int main(int argc, char** argv) {
    int sep = 0;
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--") == 0) {
            sep = i;
            break;
        }
    if (sep == 0 || sep + 1 >= argc || argc < 4) {
        fprintf(stderr, "usage: xpoll window NAME -- PROGRAM... | xpoll pixel X Y -- PROGRAM... | "
                        "xpoll color X Y RRGGBB -- PROGRAM...\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "xpoll: no display\n");
        return 2;
    }
    const int by_window = strcmp(argv[1], "window") == 0;
    const int by_color = strcmp(argv[1], "color") == 0 && sep >= 5;
    const int px = by_window ? 0 : atoi(argv[2]);
    const int py = by_window ? 0 : atoi(argv[3]);
    const unsigned long before = by_window ? 0 : pixel_at(d, px, py);
    const unsigned long wanted = by_color ? strtoul(argv[4], NULL, 16) : 0;
    auto near = [&](unsigned long p) {
        for (int shift = 0; shift <= 16; shift += 8) {
            const long a = (p >> shift) & 0xff, b = (wanted >> shift) & 0xff;
            if (a - b > 48 || b - a > 48)
                return false;
        }
        return true;
    };

    double start = now_ms();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[sep + 1], argv + sep + 1);
        _exit(127);
    }
    int shown = 0;
    double elapsed = 0;
    while ((elapsed = now_ms() - start) < 30000) {
        const bool seen = by_window  ? named_window_mapped(d, DefaultRootWindow(d), argv[2], 0)
                          : by_color ? near(pixel_at(d, px, py))
                                     : pixel_at(d, px, py) != before;
        if (seen) {
            shown = 1;
            break;
        }
        if (waitpid(child, NULL, WNOHANG) == child)
            break;
        usleep(500);
    }
    kill(child, SIGKILL);
    waitpid(child, NULL, 0);
    XCloseDisplay(d);
    if (!shown) {
        fprintf(stderr, "xpoll: nothing showed\n");
        return 1;
    }
    printf("%.3f\n", elapsed);
    return 0;
}
