// libheif and libjxl, and the HEVC, AV1 and JPEG XL codec libraries under them, are loaded when
// the first HEIF, AVIF or JPEG XL picture is read, not when the program starts: loading them
// and running their set-up costs every start several milliseconds, for pictures most starts never
// see. So is libtiff, with the six compression libraries under it, when the first TIFF is read.
// These definitions stand in for the libraries' functions (the same declarations, from their
// headers) and forward to the libraries once loaded. Where a library cannot be loaded, reading the
// picture fails as a picture that cannot be read does.

#include "FormatLibraries.h"

#include "LibraryLoading.h"

#include <cstdarg>
#include <jxl/decode.h>
#include <jxl/encode.h> // JxlColorEncodingSetToSRGB()
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>
#include <tiffio.h>

// The functions of libheif the HEIF decoder calls.
#define LUMORRA_HEIF_FUNCTIONS(X)                                                                  \
    X(heif_context_alloc)                                                                          \
    X(heif_context_free)                                                                           \
    X(heif_context_get_primary_image_handle)                                                       \
    X(heif_context_get_primary_image_ID)                                                           \
    X(heif_context_read_from_memory_without_copy)                                                  \
    X(heif_context_read_from_reader)                                                               \
    X(heif_context_set_maximum_image_size_limit)                                                   \
    X(heif_decode_image)                                                                           \
    X(heif_decoding_options_alloc)                                                                 \
    X(heif_decoding_options_free)                                                                  \
    X(heif_image_get_bits_per_pixel_range)                                                         \
    X(heif_image_get_height)                                                                       \
    X(heif_image_get_plane_readonly)                                                               \
    X(heif_image_get_width)                                                                        \
    X(heif_image_handle_get_color_profile_type)                                                    \
    X(heif_image_handle_get_height)                                                                \
    X(heif_image_handle_get_nclx_color_profile)                                                    \
    X(heif_image_handle_get_raw_color_profile)                                                     \
    X(heif_image_handle_get_raw_color_profile_size)                                                \
    X(heif_image_handle_get_width)                                                                 \
    X(heif_image_handle_has_alpha_channel)                                                         \
    X(heif_image_handle_release)                                                                   \
    X(heif_image_is_premultiplied_alpha)                                                           \
    X(heif_image_release)                                                                          \
    X(heif_nclx_color_profile_free)

// The functions of libjxl and libjxl_threads the JPEG XL decoder calls.
#define LUMORRA_JXL_FUNCTIONS(X)                                                                   \
    X(JxlColorEncodingSetToSRGB)                                                                   \
    X(JxlDecoderCloseInput)                                                                        \
    X(JxlDecoderCreate)                                                                            \
    X(JxlDecoderDestroy)                                                                           \
    X(JxlDecoderGetBasicInfo)                                                                      \
    X(JxlDecoderGetColorAsEncodedProfile)                                                          \
    X(JxlDecoderGetColorAsICCProfile)                                                              \
    X(JxlDecoderGetFrameHeader)                                                                    \
    X(JxlDecoderGetICCProfileSize)                                                                 \
    X(JxlDecoderProcessInput)                                                                      \
    X(JxlDecoderReleaseInput)                                                                      \
    X(JxlDecoderRewind)                                                                            \
    X(JxlDecoderSetImageOutCallback)                                                               \
    X(JxlDecoderSetInput)                                                                          \
    X(JxlDecoderSetParallelRunner)                                                                 \
    X(JxlDecoderSetPreferredColorProfile)                                                          \
    X(JxlDecoderSetUnpremultiplyAlpha)                                                             \
    X(JxlDecoderSubscribeEvents)
#define LUMORRA_JXL_THREADS_FUNCTIONS(X)                                                           \
    X(JxlThreadParallelRunnerCreate)                                                               \
    X(JxlThreadParallelRunnerDefaultNumWorkerThreads)                                              \
    X(JxlThreadParallelRunnerDestroy)                                                              \
    X(JxlThreadParallelRunner)

// The functions of libtiff the TIFF decoder calls; the ones it calls with a variable argument
// list reach the library through their va_list forms.
#define LUMORRA_TIFF_FUNCTIONS(X)                                                                  \
    X(TIFFClientOpenExt)                                                                           \
    X(TIFFClose)                                                                                   \
    X(TIFFComputeTile)                                                                             \
    X(TIFFVGetField)                                                                               \
    X(TIFFVGetFieldDefaulted)                                                                      \
    X(TIFFIsTiled)                                                                                 \
    X(TIFFOpenOptionsAlloc)                                                                        \
    X(TIFFOpenOptionsFree)                                                                         \
    X(TIFFOpenOptionsSetErrorHandlerExtR)                                                          \
    X(TIFFOpenOptionsSetMaxSingleMemAlloc)                                                         \
    X(TIFFOpenOptionsSetWarningHandlerExtR)                                                        \
    X(TIFFRGBAImageBegin)                                                                          \
    X(TIFFRGBAImageEnd)                                                                            \
    X(TIFFRGBAImageGet)                                                                            \
    X(TIFFRGBAImageOK)                                                                             \
    X(TIFFReadEncodedStrip)                                                                        \
    X(TIFFReadEncodedTile)                                                                         \
    X(TIFFStripSize)                                                                               \
    X(TIFFTileSize)

namespace {

using namespace lumorra::picture::libraries;

struct Heif {
    LUMORRA_HEIF_FUNCTIONS(LUMORRA_MEMBER)
    bool loaded = false;
    Heif() {
        Resolver resolve(open("libheif.so.1"));
        LUMORRA_HEIF_FUNCTIONS(LUMORRA_RESOLVE)
        loaded = resolve.complete;
    }
};

struct Jxl {
    LUMORRA_JXL_FUNCTIONS(LUMORRA_MEMBER)
    LUMORRA_JXL_THREADS_FUNCTIONS(LUMORRA_MEMBER)
    bool loaded = false;
    Jxl() {
        Resolver resolve(open("libjxl.so.0.7"));
        LUMORRA_JXL_FUNCTIONS(LUMORRA_RESOLVE)
        Resolver resolveThreads(open("libjxl_threads.so.0.7"));
#define LUMORRA_RESOLVE_THREADS(name) resolveThreads(name, #name);
        LUMORRA_JXL_THREADS_FUNCTIONS(LUMORRA_RESOLVE_THREADS)
        loaded = resolve.complete && resolveThreads.complete;
    }
};

struct Tiff {
    LUMORRA_TIFF_FUNCTIONS(LUMORRA_MEMBER)
    bool loaded = false;
    Tiff() {
        Resolver resolve(open("libtiff.so.6"));
        LUMORRA_TIFF_FUNCTIONS(LUMORRA_RESOLVE)
        loaded = resolve.complete;
    }
};

} // namespace

// A function that gives something back is reached only through a loaded library (it throws
// otherwise); one that gives back what the program had does nothing without the library.
struct heif_context* heif_context_alloc(void) {
    return loaded<Heif>().heif_context_alloc();
}
void heif_context_free(struct heif_context* a0) {
    if (library<Heif>().heif_context_free)
        library<Heif>().heif_context_free(a0);
}
struct heif_error heif_context_get_primary_image_handle(struct heif_context* a0,
                                                        struct heif_image_handle** a1) {
    return loaded<Heif>().heif_context_get_primary_image_handle(a0, a1);
}
struct heif_error heif_context_get_primary_image_ID(struct heif_context* a0, heif_item_id* a1) {
    return loaded<Heif>().heif_context_get_primary_image_ID(a0, a1);
}
struct heif_error
heif_context_read_from_memory_without_copy(struct heif_context* a0, const void* a1, size_t a2,
                                           const struct heif_reading_options* a3) {
    return loaded<Heif>().heif_context_read_from_memory_without_copy(a0, a1, a2, a3);
}
struct heif_error heif_context_read_from_reader(struct heif_context* a0,
                                                const struct heif_reader* a1, void* a2,
                                                const struct heif_reading_options* a3) {
    return loaded<Heif>().heif_context_read_from_reader(a0, a1, a2, a3);
}
void heif_context_set_maximum_image_size_limit(struct heif_context* a0, int a1) {
    loaded<Heif>().heif_context_set_maximum_image_size_limit(a0, a1);
}
struct heif_error heif_decode_image(const struct heif_image_handle* a0, struct heif_image** a1,
                                    enum heif_colorspace a2, enum heif_chroma a3,
                                    const struct heif_decoding_options* a4) {
    return loaded<Heif>().heif_decode_image(a0, a1, a2, a3, a4);
}
struct heif_decoding_options* heif_decoding_options_alloc(void) {
    return loaded<Heif>().heif_decoding_options_alloc();
}
void heif_decoding_options_free(struct heif_decoding_options* a0) {
    if (library<Heif>().heif_decoding_options_free)
        library<Heif>().heif_decoding_options_free(a0);
}
int heif_image_get_bits_per_pixel_range(const struct heif_image* a0, enum heif_channel a1) {
    return loaded<Heif>().heif_image_get_bits_per_pixel_range(a0, a1);
}
int heif_image_get_height(const struct heif_image* a0, enum heif_channel a1) {
    return loaded<Heif>().heif_image_get_height(a0, a1);
}
const uint8_t* heif_image_get_plane_readonly(const struct heif_image* a0, enum heif_channel a1,
                                             int* a2) {
    return loaded<Heif>().heif_image_get_plane_readonly(a0, a1, a2);
}
int heif_image_get_width(const struct heif_image* a0, enum heif_channel a1) {
    return loaded<Heif>().heif_image_get_width(a0, a1);
}
enum heif_color_profile_type
heif_image_handle_get_color_profile_type(const struct heif_image_handle* a0) {
    return loaded<Heif>().heif_image_handle_get_color_profile_type(a0);
}
int heif_image_handle_get_height(const struct heif_image_handle* a0) {
    return loaded<Heif>().heif_image_handle_get_height(a0);
}
struct heif_error heif_image_handle_get_nclx_color_profile(const struct heif_image_handle* a0,
                                                           struct heif_color_profile_nclx** a1) {
    return loaded<Heif>().heif_image_handle_get_nclx_color_profile(a0, a1);
}
struct heif_error heif_image_handle_get_raw_color_profile(const struct heif_image_handle* a0,
                                                          void* a1) {
    return loaded<Heif>().heif_image_handle_get_raw_color_profile(a0, a1);
}
size_t heif_image_handle_get_raw_color_profile_size(const struct heif_image_handle* a0) {
    return loaded<Heif>().heif_image_handle_get_raw_color_profile_size(a0);
}
int heif_image_handle_get_width(const struct heif_image_handle* a0) {
    return loaded<Heif>().heif_image_handle_get_width(a0);
}
int heif_image_handle_has_alpha_channel(const struct heif_image_handle* a0) {
    return loaded<Heif>().heif_image_handle_has_alpha_channel(a0);
}
void heif_image_handle_release(const struct heif_image_handle* a0) {
    if (library<Heif>().heif_image_handle_release)
        library<Heif>().heif_image_handle_release(a0);
}
int heif_image_is_premultiplied_alpha(struct heif_image* a0) {
    return loaded<Heif>().heif_image_is_premultiplied_alpha(a0);
}
void heif_image_release(const struct heif_image* a0) {
    if (library<Heif>().heif_image_release)
        library<Heif>().heif_image_release(a0);
}
void heif_nclx_color_profile_free(struct heif_color_profile_nclx* a0) {
    if (library<Heif>().heif_nclx_color_profile_free)
        library<Heif>().heif_nclx_color_profile_free(a0);
}
void JxlColorEncodingSetToSRGB(JxlColorEncoding* a0, JXL_BOOL a1) {
    loaded<Jxl>().JxlColorEncodingSetToSRGB(a0, a1);
}
void JxlDecoderCloseInput(JxlDecoder* a0) {
    if (library<Jxl>().JxlDecoderCloseInput)
        library<Jxl>().JxlDecoderCloseInput(a0);
}
JxlDecoder* JxlDecoderCreate(const JxlMemoryManager* a0) {
    return loaded<Jxl>().JxlDecoderCreate(a0);
}
void JxlDecoderDestroy(JxlDecoder* a0) {
    if (library<Jxl>().JxlDecoderDestroy)
        library<Jxl>().JxlDecoderDestroy(a0);
}
JxlDecoderStatus JxlDecoderGetBasicInfo(const JxlDecoder* a0, JxlBasicInfo* a1) {
    return loaded<Jxl>().JxlDecoderGetBasicInfo(a0, a1);
}
JxlDecoderStatus JxlDecoderGetColorAsEncodedProfile(const JxlDecoder* a0, const JxlPixelFormat* a1,
                                                    JxlColorProfileTarget a2,
                                                    JxlColorEncoding* a3) {
    return loaded<Jxl>().JxlDecoderGetColorAsEncodedProfile(a0, a1, a2, a3);
}
JxlDecoderStatus JxlDecoderGetColorAsICCProfile(const JxlDecoder* a0, const JxlPixelFormat* a1,
                                                JxlColorProfileTarget a2, uint8_t* a3, size_t a4) {
    return loaded<Jxl>().JxlDecoderGetColorAsICCProfile(a0, a1, a2, a3, a4);
}
JxlDecoderStatus JxlDecoderGetFrameHeader(const JxlDecoder* a0, JxlFrameHeader* a1) {
    return loaded<Jxl>().JxlDecoderGetFrameHeader(a0, a1);
}
void JxlDecoderRewind(JxlDecoder* a0) {
    loaded<Jxl>().JxlDecoderRewind(a0);
}
JxlDecoderStatus JxlDecoderGetICCProfileSize(const JxlDecoder* a0, const JxlPixelFormat* a1,
                                             JxlColorProfileTarget a2, size_t* a3) {
    return loaded<Jxl>().JxlDecoderGetICCProfileSize(a0, a1, a2, a3);
}
JxlDecoderStatus JxlDecoderProcessInput(JxlDecoder* a0) {
    return loaded<Jxl>().JxlDecoderProcessInput(a0);
}
size_t JxlDecoderReleaseInput(JxlDecoder* a0) {
    if (library<Jxl>().JxlDecoderReleaseInput)
        return library<Jxl>().JxlDecoderReleaseInput(a0);
    return 0;
}
JxlDecoderStatus JxlDecoderSetImageOutCallback(JxlDecoder* a0, const JxlPixelFormat* a1,
                                               JxlImageOutCallback a2, void* a3) {
    return loaded<Jxl>().JxlDecoderSetImageOutCallback(a0, a1, a2, a3);
}
JxlDecoderStatus JxlDecoderSetInput(JxlDecoder* a0, const uint8_t* a1, size_t a2) {
    return loaded<Jxl>().JxlDecoderSetInput(a0, a1, a2);
}
JxlDecoderStatus JxlDecoderSetParallelRunner(JxlDecoder* a0, JxlParallelRunner a1, void* a2) {
    return loaded<Jxl>().JxlDecoderSetParallelRunner(a0, a1, a2);
}
JxlDecoderStatus JxlDecoderSetPreferredColorProfile(JxlDecoder* a0, const JxlColorEncoding* a1) {
    return loaded<Jxl>().JxlDecoderSetPreferredColorProfile(a0, a1);
}
JxlDecoderStatus JxlDecoderSetUnpremultiplyAlpha(JxlDecoder* a0, JXL_BOOL a1) {
    return loaded<Jxl>().JxlDecoderSetUnpremultiplyAlpha(a0, a1);
}
JxlDecoderStatus JxlDecoderSubscribeEvents(JxlDecoder* a0, int a1) {
    return loaded<Jxl>().JxlDecoderSubscribeEvents(a0, a1);
}
void* JxlThreadParallelRunnerCreate(const JxlMemoryManager* a0, size_t a1) {
    return loaded<Jxl>().JxlThreadParallelRunnerCreate(a0, a1);
}
size_t JxlThreadParallelRunnerDefaultNumWorkerThreads(void) {
    return loaded<Jxl>().JxlThreadParallelRunnerDefaultNumWorkerThreads();
}
void JxlThreadParallelRunnerDestroy(void* a0) {
    if (library<Jxl>().JxlThreadParallelRunnerDestroy)
        library<Jxl>().JxlThreadParallelRunnerDestroy(a0);
}
// Called by libjxl itself, which is then loaded.
JxlParallelRetCode JxlThreadParallelRunner(void* a0, void* a1, JxlParallelRunInit a2,
                                           JxlParallelRunFunction a3, uint32_t a4, uint32_t a5) {
    return library<Jxl>().JxlThreadParallelRunner(a0, a1, a2, a3, a4, a5);
}

// libtiff's functions are called by its decoder's own code alone, and through it.
TIFF* TIFFClientOpenExt(const char* a0, const char* a1, thandle_t a2, TIFFReadWriteProc a3,
                        TIFFReadWriteProc a4, TIFFSeekProc a5, TIFFCloseProc a6, TIFFSizeProc a7,
                        TIFFMapFileProc a8, TIFFUnmapFileProc a9, TIFFOpenOptions* a10) {
    return loaded<Tiff>().TIFFClientOpenExt(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10);
}
void TIFFClose(TIFF* a0) {
    if (library<Tiff>().TIFFClose)
        library<Tiff>().TIFFClose(a0);
}
uint32_t TIFFComputeTile(TIFF* a0, uint32_t a1, uint32_t a2, uint32_t a3, uint16_t a4) {
    return loaded<Tiff>().TIFFComputeTile(a0, a1, a2, a3, a4);
}
int TIFFGetField(TIFF* a0, uint32_t a1, ...) {
    va_list rest;
    va_start(rest, a1);
    const int found = loaded<Tiff>().TIFFVGetField(a0, a1, rest);
    va_end(rest);
    return found;
}
int TIFFGetFieldDefaulted(TIFF* a0, uint32_t a1, ...) {
    va_list rest;
    va_start(rest, a1);
    const int found = loaded<Tiff>().TIFFVGetFieldDefaulted(a0, a1, rest);
    va_end(rest);
    return found;
}
int TIFFVGetField(TIFF* a0, uint32_t a1, va_list a2) {
    return loaded<Tiff>().TIFFVGetField(a0, a1, a2);
}
int TIFFVGetFieldDefaulted(TIFF* a0, uint32_t a1, va_list a2) {
    return loaded<Tiff>().TIFFVGetFieldDefaulted(a0, a1, a2);
}
int TIFFIsTiled(TIFF* a0) {
    return loaded<Tiff>().TIFFIsTiled(a0);
}
TIFFOpenOptions* TIFFOpenOptionsAlloc(void) {
    return loaded<Tiff>().TIFFOpenOptionsAlloc();
}
void TIFFOpenOptionsFree(TIFFOpenOptions* a0) {
    if (library<Tiff>().TIFFOpenOptionsFree)
        library<Tiff>().TIFFOpenOptionsFree(a0);
}
void TIFFOpenOptionsSetErrorHandlerExtR(TIFFOpenOptions* a0, TIFFErrorHandlerExtR a1, void* a2) {
    loaded<Tiff>().TIFFOpenOptionsSetErrorHandlerExtR(a0, a1, a2);
}
void TIFFOpenOptionsSetMaxSingleMemAlloc(TIFFOpenOptions* a0, tmsize_t a1) {
    loaded<Tiff>().TIFFOpenOptionsSetMaxSingleMemAlloc(a0, a1);
}
void TIFFOpenOptionsSetWarningHandlerExtR(TIFFOpenOptions* a0, TIFFErrorHandlerExtR a1, void* a2) {
    loaded<Tiff>().TIFFOpenOptionsSetWarningHandlerExtR(a0, a1, a2);
}
int TIFFRGBAImageBegin(TIFFRGBAImage* a0, TIFF* a1, int a2, char a3[1024]) {
    return loaded<Tiff>().TIFFRGBAImageBegin(a0, a1, a2, a3);
}
void TIFFRGBAImageEnd(TIFFRGBAImage* a0) {
    if (library<Tiff>().TIFFRGBAImageEnd)
        library<Tiff>().TIFFRGBAImageEnd(a0);
}
int TIFFRGBAImageGet(TIFFRGBAImage* a0, uint32_t* a1, uint32_t a2, uint32_t a3) {
    return loaded<Tiff>().TIFFRGBAImageGet(a0, a1, a2, a3);
}
int TIFFRGBAImageOK(TIFF* a0, char a1[1024]) {
    return loaded<Tiff>().TIFFRGBAImageOK(a0, a1);
}
tmsize_t TIFFReadEncodedStrip(TIFF* a0, uint32_t a1, void* a2, tmsize_t a3) {
    return loaded<Tiff>().TIFFReadEncodedStrip(a0, a1, a2, a3);
}
tmsize_t TIFFReadEncodedTile(TIFF* a0, uint32_t a1, void* a2, tmsize_t a3) {
    return loaded<Tiff>().TIFFReadEncodedTile(a0, a1, a2, a3);
}
tmsize_t TIFFStripSize(TIFF* a0) {
    return loaded<Tiff>().TIFFStripSize(a0);
}
tmsize_t TIFFTileSize(TIFF* a0) {
    return loaded<Tiff>().TIFFTileSize(a0);
}

namespace lumorra::picture {

void loadTiffLibrary() {
    (void)library<Tiff>();
}

void loadHeifLibrary() {
    (void)library<Heif>();
}

void loadJxlLibrary() {
    (void)library<Jxl>();
}

} // namespace lumorra::picture
