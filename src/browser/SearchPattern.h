#pragma once

#include <QString>

#include <vector>

namespace lumorra {

// A search pattern: wildcard file specifications separated by ";" ("*.jpg;*.bmp"), where "*"
// matches any run of characters and "?" one character. Names match without regard to letter
// case; spaces around a specification are tolerated.
class SearchPattern {
public:
    SearchPattern() = default;
    // Throws Error 380 "Invalid property value" for a pattern the file list refuses: one with
    // no specification, or with a character no file name can hold ("/", NUL, line breaks and
    // other control characters).
    static SearchPattern parse(const QString& text);

    bool matches(const QString& fileName) const;
    // matches() for a name of ASCII characters only, as the file system gives it.
    bool matchesAscii(const char* fileName, size_t length) const;
    const QString& text() const { return text_; }

private:
    QString text_;
    std::vector<QString> specs_; // case-folded
};

// Case-insensitive wildcard match of a whole name; the wildcard text must be case-folded.
bool wildcardMatch(const QString& foldedSpec, const QString& name);

} // namespace lumorra
