#pragma once

// What the files that load a format's library when it is first needed share (FormatLibraries.cpp,
// MetafileLibraries.cpp): each gives the library's functions as a struct of pointers, resolved
// once, and definitions of the library's functions that forward to them. Not part of the
// loader's interface.

#include "picture/Decoding.h"

#include <dlfcn.h>

namespace lumorra::picture::libraries {

// A member for each function the program calls, and its resolution in the constructor.
#define LUMORRA_MEMBER(name) decltype(&::name) name = nullptr;
#define LUMORRA_RESOLVE(name) resolve(name, #name);

// Resolves the named functions of the library opened; complete when all of them were found.
class Resolver {
public:
    explicit Resolver(void* handle) : handle_(handle) {}
    template <class F> void operator()(F& function, const char* name) {
        function = handle_ ? reinterpret_cast<F>(::dlsym(handle_, name)) : nullptr;
        complete = complete && function != nullptr;
    }
    bool complete = true;

private:
    void* handle_;
};

// Opened for its own lookups only: what the library exports stays out of the program's scope.
// The libraries stay loaded for the rest of the run: their threads may still run code of them.
inline void* open(const char* name) {
    return ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

// Each library is loaded once, on its first call.
template <class Library> const Library& library() {
    static const Library loaded;
    return loaded;
}
// The library, for a call that gives something back: one that could not be loaded fails the
// picture.
template <class Library> const Library& loaded() {
    if (!library<Library>().loaded)
        throw invalidPicture();
    return library<Library>();
}

} // namespace lumorra::picture::libraries
