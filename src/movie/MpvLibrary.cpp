// The movie library is loaded when the first movie plays, not when the program starts: libmpv
// and the media libraries it needs are more than two hundred shared objects, which would make
// every start of the program wait for them. These definitions stand in for libmpv's functions
// (the same declarations, from its headers) and forward to the library once it is loaded.

#include "MpvLibrary.h"

#include <QString>

#include <dlfcn.h>
#include <mpv/client.h>
#include <mpv/render.h>

// The functions of libmpv the movie control calls.
#define LUMORRA_MPV_FUNCTIONS(X)                                                                   \
    X(mpv_create)                                                                                  \
    X(mpv_initialize)                                                                              \
    X(mpv_terminate_destroy)                                                                       \
    X(mpv_set_option_string)                                                                       \
    X(mpv_command)                                                                                 \
    X(mpv_command_ret)                                                                             \
    X(mpv_error_string)                                                                            \
    X(mpv_free)                                                                                    \
    X(mpv_free_node_contents)                                                                      \
    X(mpv_get_property)                                                                            \
    X(mpv_get_property_string)                                                                     \
    X(mpv_set_property)                                                                            \
    X(mpv_observe_property)                                                                        \
    X(mpv_wait_event)                                                                              \
    X(mpv_set_wakeup_callback)                                                                     \
    X(mpv_render_context_create)                                                                   \
    X(mpv_render_context_set_update_callback)                                                      \
    X(mpv_render_context_update)                                                                   \
    X(mpv_render_context_render)                                                                   \
    X(mpv_render_context_free)

namespace {

struct Library {
    QString error;
#define LUMORRA_MPV_MEMBER(name) decltype(&::name) name = nullptr;
    LUMORRA_MPV_FUNCTIONS(LUMORRA_MPV_MEMBER)
#undef LUMORRA_MPV_MEMBER

    Library() {
        // The name of the library this program was built against (its major version).
        void* handle = ::dlopen("libmpv.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            handle = ::dlopen("libmpv.so", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            error = QStringLiteral("The movie library (libmpv) could not be loaded: %1")
                        .arg(QString::fromLocal8Bit(::dlerror()));
            return;
        }
        bool complete = true;
        const auto resolve = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                ::dlsym(handle, name));
            complete = complete && function != nullptr;
        };
#define LUMORRA_MPV_RESOLVE(name) resolve(name, #name);
        LUMORRA_MPV_FUNCTIONS(LUMORRA_MPV_RESOLVE)
#undef LUMORRA_MPV_RESOLVE
        if (!complete)
            error = QStringLiteral("The movie library (libmpv) is of an unknown version.");
        // The library stays loaded for the rest of the run: its threads may still run code of it.
    }
};

const Library& library() {
    static const Library lib;
    return lib;
}

} // namespace

namespace lumorra {

QString mpvLibraryError() {
    return library().error;
}

} // namespace lumorra

// Every function is reached only after mpvLibraryError() said the library is complete.
mpv_handle* mpv_create() {
    return library().mpv_create();
}
int mpv_initialize(mpv_handle* ctx) {
    return library().mpv_initialize(ctx);
}
void mpv_terminate_destroy(mpv_handle* ctx) {
    library().mpv_terminate_destroy(ctx);
}
int mpv_set_option_string(mpv_handle* ctx, const char* name, const char* data) {
    return library().mpv_set_option_string(ctx, name, data);
}
int mpv_command(mpv_handle* ctx, const char** args) {
    return library().mpv_command(ctx, args);
}
int mpv_command_ret(mpv_handle* ctx, const char** args, mpv_node* result) {
    return library().mpv_command_ret(ctx, args, result);
}
const char* mpv_error_string(int error) {
    return library().mpv_error_string ? library().mpv_error_string(error) : "unknown error";
}
void mpv_free(void* data) {
    library().mpv_free(data);
}
void mpv_free_node_contents(mpv_node* node) {
    library().mpv_free_node_contents(node);
}
int mpv_get_property(mpv_handle* ctx, const char* name, mpv_format format, void* data) {
    return library().mpv_get_property(ctx, name, format, data);
}
char* mpv_get_property_string(mpv_handle* ctx, const char* name) {
    return library().mpv_get_property_string(ctx, name);
}
int mpv_set_property(mpv_handle* ctx, const char* name, mpv_format format, void* data) {
    return library().mpv_set_property(ctx, name, format, data);
}
int mpv_observe_property(mpv_handle* mpv, uint64_t reply_userdata, const char* name,
                         mpv_format format) {
    return library().mpv_observe_property(mpv, reply_userdata, name, format);
}
mpv_event* mpv_wait_event(mpv_handle* ctx, double timeout) {
    return library().mpv_wait_event(ctx, timeout);
}
void mpv_set_wakeup_callback(mpv_handle* ctx, void (*cb)(void* d), void* d) {
    library().mpv_set_wakeup_callback(ctx, cb, d);
}
int mpv_render_context_create(mpv_render_context** res, mpv_handle* mpv, mpv_render_param* params) {
    return library().mpv_render_context_create(res, mpv, params);
}
void mpv_render_context_set_update_callback(mpv_render_context* ctx, mpv_render_update_fn callback,
                                            void* callback_ctx) {
    library().mpv_render_context_set_update_callback(ctx, callback, callback_ctx);
}
uint64_t mpv_render_context_update(mpv_render_context* ctx) {
    return library().mpv_render_context_update(ctx);
}
int mpv_render_context_render(mpv_render_context* ctx, mpv_render_param* params) {
    return library().mpv_render_context_render(ctx, params);
}
void mpv_render_context_free(mpv_render_context* ctx) {
    library().mpv_render_context_free(ctx);
}
