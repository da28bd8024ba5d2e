#pragma once

#include <QString>

namespace lumorra {

// Loads the movie library on first use; empty when it is there and complete, else what is
// wrong in the program's words.
QString mpvLibraryError();

} // namespace lumorra
