// libwmf and libemf2svg, which draw the two kinds of Windows metafile, are loaded when the first
// metafile is drawn, not when the program starts: the viewer and the decoders' zygote would
// otherwise load them, with libwmflite and libuemf, on every start, for pictures most starts
// never see. A drawing worker loads them before it confines itself. As in FormatLibraries.cpp,
// these definitions stand in for the libraries' functions and forward to them once loaded.
//
// Each library is opened for its own lookups only, and that also keeps the two apart: libwmf
// (in libwmflite) and libuemf (under libemf2svg) both export a wmf_free(), libuemf's taking other
// arguments, and the dynamic linker binds a library's calls to the program's scope first. Should
// another wmf_free() be in the program's scope all the same, WMF pictures are refused rather
// than crashed on.

#include "FormatLibraries.h"
#include "LibraryLoading.h"

#include <cstring>
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>

// The functions of libwmf (and through it libwmflite) the WMF reader calls.
#define LUMORRA_WMF_FUNCTIONS(X)                                                                   \
    X(wmf_api_create)                                                                              \
    X(wmf_api_destroy)                                                                             \
    X(wmf_display_size)                                                                            \
    X(wmf_gd_function)                                                                             \
    X(wmf_gd_image_pixels)                                                                         \
    X(wmf_mem_open)                                                                                \
    X(wmf_play)                                                                                    \
    X(wmf_scan)

namespace {

using namespace lumorra::picture::libraries;

// Whether a wmf_free() in the program's scope, which libwmf's own calls would reach first, is
// libwmf's or none.
bool ownAllocatorFirst() {
    const void* first = ::dlsym(RTLD_DEFAULT, "wmf_free");
    Dl_info info{};
    return first == nullptr || (::dladdr(first, &info) != 0 && info.dli_fname != nullptr &&
                                std::strstr(info.dli_fname, "libwmf") != nullptr);
}

struct Wmf {
    LUMORRA_WMF_FUNCTIONS(LUMORRA_MEMBER)
    bool loaded = false;
    bool ownAllocator = false;
    Wmf() {
        Resolver resolve(open("libwmf-0.2.so.7"));
        LUMORRA_WMF_FUNCTIONS(LUMORRA_RESOLVE)
        loaded = resolve.complete;
        ownAllocator = ownAllocatorFirst();
    }
};

struct Emf {
    LUMORRA_MEMBER(emf2svg)
    bool loaded = false;
    Emf() {
        Resolver resolve(open("libemf2svg.so.1"));
        LUMORRA_RESOLVE(emf2svg)
        loaded = resolve.complete;
    }
};

} // namespace

wmf_error_t wmf_api_create(wmfAPI** a0, unsigned long a1, wmfAPI_Options* a2) {
    return loaded<Wmf>().wmf_api_create(a0, a1, a2);
}
wmf_error_t wmf_api_destroy(wmfAPI* a0) {
    if (library<Wmf>().wmf_api_destroy)
        return library<Wmf>().wmf_api_destroy(a0);
    return wmf_E_None;
}
wmf_error_t wmf_display_size(wmfAPI* a0, unsigned int* a1, unsigned int* a2, double a3, double a4) {
    return loaded<Wmf>().wmf_display_size(a0, a1, a2, a3, a4);
}
// Called by libwmf itself, which is then loaded.
void wmf_gd_function(wmfAPI* a0) {
    library<Wmf>().wmf_gd_function(a0);
}
int* wmf_gd_image_pixels(void* a0) {
    return loaded<Wmf>().wmf_gd_image_pixels(a0);
}
wmf_error_t wmf_mem_open(wmfAPI* a0, unsigned char* a1, long a2) {
    return loaded<Wmf>().wmf_mem_open(a0, a1, a2);
}
wmf_error_t wmf_play(wmfAPI* a0, unsigned long a1, wmfD_Rect* a2) {
    return loaded<Wmf>().wmf_play(a0, a1, a2);
}
wmf_error_t wmf_scan(wmfAPI* a0, unsigned long a1, wmfD_Rect* a2) {
    return loaded<Wmf>().wmf_scan(a0, a1, a2);
}
int emf2svg(char* a0, size_t a1, char** a2, size_t* a3, generatorOptions* a4) {
    return loaded<Emf>().emf2svg(a0, a1, a2, a3, a4);
}

namespace lumorra::picture {

bool libwmfAllocatorFirst() {
    return library<Wmf>().ownAllocator;
}

void loadMetafileLibraries() {
    (void)library<Wmf>();
    (void)library<Emf>();
}

} // namespace lumorra::picture
