#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
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

// Replaces all attributes of a file (other bits are ignored). Read-only clears every write
// permission; its absence restores the owner's. Hidden, system and archive go into the extended
// attribute, which is written only when it changes; where the file system refuses extended
// attributes, only read-only is set. Throws Error when the file cannot take the attributes (it
// is missing, no file or directory, or the user may not change it); it then keeps the ones it
// had.
void setFileAttributes(const QString& path, int value);

// Whether the lists leave the entry out: a dot name, or hidden or system set in its
// extended attribute. Cheap for names that start with "."; one look-up otherwise.
bool isHiddenOrSystem(const QString& dir, const QString& name);

// isHiddenOrSystem() for many names of one directory at once (names in the file system's
// encoding, none starting with ".").
std::vector<bool> hiddenOrSystem(const QString& dir, const std::vector<QByteArray>& names);

// hiddenOrSystem() in the background: the look-ups start at once and run while the caller goes
// on with other work; wait() gives the answer. The names (NUL-terminated, in the file system's
// encoding, none starting with ".") must stay in place until wait() has returned. Long lists
// are looked up relative to the directory, in batches through the kernel's submission queue
// where it offers extended attributes there, else one call at a time; the caller's thread
// joins in when it waits.
class HiddenLookup {
public:
    HiddenLookup(const QString& dir, std::vector<const char*> names);
    ~HiddenLookup();
    HiddenLookup(const HiddenLookup&) = delete;
    HiddenLookup& operator=(const HiddenLookup&) = delete;
    // For each name, whether the lists leave it out. Call once.
    std::vector<bool> wait();

private:
    struct Work;
    std::unique_ptr<Work> work_;
};

} // namespace lumorra
