#include "Decoding.h"

#include "picture/formats/PictureFormat.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumorra::picture {
namespace {

// MemAvailable from /proc/meminfo, in bytes; -1 when the system does not say.
qint64 availableMemory() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    // /proc files report a size of 0: read line by line.
    while (!meminfo.atEnd()) {
        const QByteArray line = meminfo.readLine(256);
        if (!line.startsWith("MemAvailable:"))
            continue;
        bool ok = false;
        const qint64 kib = line.mid(13).trimmed().split(' ').value(0).toLongLong(&ok);
        return ok ? kib * 1024 : -1;
    }
    return -1;
}

// Maps the pages of a fresh buffer in one go before a file is read into it: a read that faults
// them in one by one costs more than the copy itself, in a virtual machine most. Without the
// kernel's support the read faults them in as usual.
void prefault(char* data, qsizetype size) {
#if defined(MADV_POPULATE_WRITE)
    const auto page = quintptr(::sysconf(_SC_PAGESIZE));
    const quintptr start = (quintptr(data) + page - 1) & ~(page - 1);
    const quintptr end = (quintptr(data) + quintptr(size)) & ~(page - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

} // namespace

Error invalidPicture() {
    return Error::program(errc::InvalidPicture);
}
Error outOfMemory() {
    return Error::program(errc::OutOfMemory);
}

qint64 pictureByteBudget() {
    const qint64 available = availableMemory();
    if (available < 0)
        return PictureByteCap;
    // The decoded picture is not the only copy for long: a format conversion or the view's
    // scaled copy needs as much again.
    return qMin(PictureByteCap, available / 2);
}

void requireMemoryFor(QSize size, qint64 budget) {
    if (size.width() <= 0 || size.height() <= 0)
        throw invalidPicture();
    // Widths and heights up to 2^31 multiply within 64 bits; four bytes a pixel could not.
    if (qint64(size.width()) * size.height() > budget / 4)
        throw outOfMemory();
}

qint64 childMemory() {
    return pictureByteBudget() + (qint64(512) << 20);
}

QSize metafileRaster(QSize natural) {
    if (natural.width() <= MetafileRasterLimit && natural.height() <= MetafileRasterLimit)
        return natural;
    return natural.scaled(MetafileRasterLimit, MetafileRasterLimit, Qt::KeepAspectRatio)
        .expandedTo(QSize(1, 1));
}

PictureFile::PictureFile(const QString& path)
    // O_NONBLOCK keeps the open of a fifo from waiting for a writer; it is of no matter for a
    // regular file, the only kind read on.
    : PictureFile(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}

PictureFile::PictureFile(int fd) {
    if (fd < 0)
        throw Error::fromErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        throw Error::fromErrno(e);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw Error::fromErrno(EISDIR);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw invalidPicture();
    }
    if (!file_.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Error{errc::PathAccess, file_.errorString()};
    }
    size_ = st.st_size;
}

PictureFile::PictureFile(const QByteArray& bytes) : size_(bytes.size()) {
    buffer_.setData(bytes);
    buffer_.open(QIODevice::ReadOnly);
    device_ = &buffer_;
}

QByteArray PictureFile::head(int length) {
    rewind();
    QByteArray bytes = device_->read(length);
    rewind();
    return bytes;
}

QByteArray PictureFile::tail(int length) {
    if (!device_->seek(qMax<qint64>(0, size_ - length)))
        throw Error{errc::PathAccess, device_->errorString()};
    QByteArray bytes = device_->read(length);
    rewind();
    return bytes;
}

QByteArray PictureFile::readAll(qint64 cap) {
    if (size_ > cap)
        throw outOfMemory();
    if (isHeld())
        return heldBytes();
    rewind();
    QByteArray data = file_.readAll();
    if (file_.error() != QFileDevice::NoError)
        throw Error{errc::PathAccess, file_.errorString()};
    return data;
}

void PictureFile::hold(qint64 cap) {
    if (isHeld())
        return;
    if (size_ > cap)
        throw outOfMemory();
    QByteArray bytes(size_, Qt::Uninitialized);
    if (bytes.size() != size_)
        throw outOfMemory();
    prefault(bytes.data(), bytes.size());
    rewind();
    qint64 read = 0;
    while (read < size_) {
        const qint64 n = file_.read(bytes.data() + read, size_ - read);
        if (n < 0)
            throw Error{errc::PathAccess, file_.errorString()};
        if (n == 0)
            break;
        read += n;
    }
    // A file cut short since it was opened holds what it still has; one that grew, what it had.
    bytes.truncate(read);
    held(bytes);
}

void PictureFile::holdCopy(int copy) {
    struct stat st {};
    if (isHeld())
        return;
    if (::fstat(copy, &st) != 0)
        throw Error::fromErrno(errno);
    QByteArray bytes(st.st_size, Qt::Uninitialized);
    if (bytes.size() != st.st_size)
        throw outOfMemory();
    prefault(bytes.data(), bytes.size());
    // The copy is sealed: it has all its bytes, whatever becomes of the file.
    for (qsizetype read = 0; read < bytes.size();) {
        const ssize_t n = ::pread(copy, bytes.data() + read, size_t(bytes.size() - read), read);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw n < 0 ? Error::fromErrno(errno) : outOfMemory();
        read += n;
    }
    held(bytes);
}

void PictureFile::held(const QByteArray& bytes) {
    size_ = bytes.size();
    buffer_.setData(bytes);
    buffer_.open(QIODevice::ReadOnly);
    device_ = &buffer_;
    file_.close();
}

void PictureFile::holdMapped(qint64 cap) {
    if (isHeld())
        return;
    if (size_ > cap)
        throw outOfMemory();
    void* start = size_ > 0
                      ? ::mmap(nullptr, size_t(size_), PROT_READ, MAP_PRIVATE, file_.handle(), 0)
                      : MAP_FAILED;
    if (start == MAP_FAILED)
        return hold(cap);
    mapped_ = start;
    buffer_.setData(QByteArray::fromRawData(static_cast<const char*>(start), size_));
    buffer_.open(QIODevice::ReadOnly);
    device_ = &buffer_;
    file_.close();
}

PictureFile::~PictureFile() {
    if (mapped_ == nullptr)
        return;
    buffer_.close();
    buffer_.setData(QByteArray());
    ::munmap(mapped_, size_t(size_));
}

void PictureFile::rewind() {
    if (!device_->seek(0))
        throw Error{errc::PathAccess, device_->errorString()};
}

Sniffed sniff(const QByteArray& head, const QByteArray& tail) {
    QByteArray name;
    const PictureFormat* format = claimingFormat(head, tail, &name);
    if (format == nullptr)
        return {Kind::Image, {}, nullptr};
    if (format->kind() != Kind::Image)
        return {format->kind(), {}, format};
    return {Kind::Image, std::move(name), format};
}

} // namespace lumorra::picture
