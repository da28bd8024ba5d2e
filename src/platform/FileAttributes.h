#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace lumorra {

// File attributes as the program knows them: read-only 1, hidden 2, system 4, archive 32.
// Read-only is the owner's write permission; hidden, system and archive are kept as a decimal
// number in the extended attribute "user.lumorra.attributes". A file without that attribute
// reads archive on, and hidden when its name starts with ".".
namespace attr {
inline constexpr int ReadOnly = 1;
inline constexpr int Hidden = 2;
inline constexpr int System = 4;
inline constexpr int Archive = 32;
} // namespace attr

inline const char* const AttributesXattr = "user.lumorra.attributes";

// The attributes of a file. Throws Error when the file does not exist.
int fileAttributes(const QString& path);

// Whether the lists leave the entry out: a dot name, or hidden or system set in its
// extended attribute. Cheap for names that start with "."; one look-up otherwise.
bool isHiddenOrSystem(const QString& dir, const QString& name);

// isHiddenOrSystem() for many names of one directory at once (names in the file system's
// encoding, none starting with "."): long lists are looked up relative to the directory, on two
// threads, which is several times faster than one full path at a time.
std::vector<bool> hiddenOrSystem(const QString& dir, const std::vector<QByteArray>& names);

} // namespace lumorra
