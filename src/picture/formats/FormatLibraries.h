#pragma once

// Loading libheif, libjxl, libtiff (FormatLibraries.cpp) and the metafile libraries
// (MetafileLibraries.cpp) ahead of their first call, which loads them otherwise: a decoder
// worker loads them before it confines itself, as loading opens files. Not part of the loader's
// interface.

namespace lumorra::picture {

void loadHeifLibrary();
void loadJxlLibrary();
void loadTiffLibrary();

// libwmf and libemf2svg (MetafileLibraries.cpp), for a drawing worker.
void loadMetafileLibraries();
// Loads libwmf; whether the wmf_free() its own calls reach is its own (MetafileLibraries.cpp).
bool libwmfAllocatorFirst();

} // namespace lumorra::picture
