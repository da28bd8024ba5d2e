#include "FuzzSupport.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace lumorra::fuzz {

void startApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "lumorra-fuzz";
    static char* argv[] = {name, nullptr};
    // Lives until the end of the run.
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

InputFile::InputFile() {
    const char* dir = std::getenv("TMPDIR");
    QByteArray name =
        QByteArray(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/lumorra-fuzz-XXXXXX";
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    path_ = QFile::decodeName(name);
}

InputFile::~InputFile() {
    ::close(fd_);
    ::unlink(QFile::encodeName(path_).constData());
}

const QString& InputFile::write(const uint8_t* data, size_t size) {
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) {
        std::perror("ftruncate");
        std::abort();
    }
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n <= 0) {
            std::perror("write");
            std::abort();
        }
        data += n;
        size -= size_t(n);
    }
    return path_;
}

} // namespace lumorra::fuzz
