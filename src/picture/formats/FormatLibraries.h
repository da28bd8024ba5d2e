#pragma once

// Loading libheif, libjxl and libtiff ahead of their first call (FormatLibraries.cpp loads them
// then):
// a decoder worker loads them before it confines itself, as loading opens files. Not part of the
// loader's interface.

namespace lumorra::picture {

void loadHeifLibrary();
void loadJxlLibrary();
void loadTiffLibrary();

} // namespace lumorra::picture
