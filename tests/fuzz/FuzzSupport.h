#pragma once

// What the fuzz targets share: a headless application, and a file to hand inputs to readers that
// take a path.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace lumorra::fuzz {

// Starts a QGuiApplication on the offscreen platform, once per run: fonts, SVG and text
// documents need one.
void startApplication();

// The input as bytes.
inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// One temporary file for the whole run, rewritten with each input; removed at exit.
class InputFile {
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    // Replaces the file's content; returns its path.
    const QString& write(const uint8_t* data, size_t size);

private:
    QString path_;
    int fd_ = -1;
};

} // namespace lumorra::fuzz
