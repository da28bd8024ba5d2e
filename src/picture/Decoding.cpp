#include "Decoding.h"

#include "picture/formats/Formats.h"

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

quint16 u16(const QByteArray& b, int at) {
    return littleEndian<quint16>(b, at);
}
quint32 u32(const QByteArray& b, int at) {
    return littleEndian<quint32>(b, at);
}

quint32 bigEndian32(const QByteArray& b, qsizetype at) {
    return b.size() - at >= 4 ? qFromBigEndian<quint32>(b.constData() + at) : 0;
}

// HEIF and AVIF files start with an ISO-BMFF file type box: its major brand, then the brands it
// is compatible with. libheif reads both; the name tells the codec, by the major brand first.
QByteArray isoMediaFormat(const QByteArray& h) {
    if (h.size() < 16 || QByteArrayView(h).sliced(4, 4) != "ftyp")
        return {};
    const quint32 boxSize = bigEndian32(h, 0);
    if (boxSize < 16 || boxSize % 4 != 0)
        return {};
    const auto avif = [](QByteArrayView b) { return b == "avif" || b == "avis"; };
    const auto hevc = [](QByteArrayView b) {
        return b == "heic" || b == "heix" || b == "hevc" || b == "hevx" || b == "heim" ||
               b == "heis" || b == "hevm" || b == "hevs";
    };
    const auto anyHeif = [&](QByteArrayView b) {
        return avif(b) || hevc(b) || b == "mif1" || b == "msf1" || b == "mif2";
    };
    const QByteArrayView major = QByteArrayView(h).sliced(8, 4);
    if (avif(major))
        return "avif";
    if (hevc(major))
        return "heif";
    // A generic major brand (mif1, or one of another family): the compatible brands decide. Only
    // those in the bytes given.
    const qsizetype end = qMin<qsizetype>(boxSize, h.size());
    bool heif = anyHeif(major);
    for (qsizetype at = 16; at + 4 <= end; at += 4) {
        const QByteArrayView brand = QByteArrayView(h).sliced(at, 4);
        if (avif(brand))
            return "avif";
        heif = heif || anyHeif(brand);
    }
    return heif ? "heif" : QByteArray();
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

Sniffed sniff(const QByteArray& h, const QByteArray& tail) {
    // Magic numbers are given with their length: some hold zero bytes.
    const auto starts = [&](QByteArrayView magic, int at = 0) {
        return h.size() >= at + magic.size() && QByteArrayView(h).sliced(at, magic.size()) == magic;
    };
    if (h.size() >= 4 && u32(h, 0) == 0x9AC6CDD7u)
        return {Kind::Wmf, {}};
    // A WMF without the placeable header: memory or disk type, nine words of header, a Windows
    // 2 or 3 metafile version.
    if (h.size() >= 18 && (u16(h, 0) == 1 || u16(h, 0) == 2) && u16(h, 2) == 9 &&
        (u16(h, 4) == 0x0100 || u16(h, 4) == 0x0300))
        return {Kind::Wmf, {}};
    if (h.size() >= 44 && u32(h, 0) == 1 && u32(h, 40) == 0x464D4520u)
        return {Kind::Emf, {}};
    if (starts({"\xFF\xD8\xFF", 3}))
        return {Kind::Image, "jpeg"};
    if (starts({"\x89PNG\r\n\x1A\n", 8}))
        return {Kind::Image, "png"};
    if (starts("GIF87a") || starts("GIF89a"))
        return {Kind::Image, "gif"};
    if (starts("BM"))
        return {Kind::Image, "bmp"};
    if (h.size() >= 6 && u16(h, 0) == 0 && (u16(h, 2) == 1 || u16(h, 2) == 2) && u16(h, 4) > 0)
        return {Kind::Image, u16(h, 2) == 1 ? "ico" : "cur"};
    if (starts("RIFF") && starts("WEBP", 8))
        return {Kind::Image, "webp"};
    // Camera RAW formats with signatures of their own (Olympus, Panasonic, Fujifilm, Canon's
    // CRW and CR3, Minolta, Sigma). Those built on TIFF are told from a plain TIFF by their
    // content (isCameraRaw()).
    if (starts("IIRO") || starts("IIRS") || starts("MMOR") || starts({"IIU\0", 4}) ||
        starts("FUJIFILMCCD-RAW") || starts("HEAPCCDR", 6) || starts({"\0MRM", 4}) ||
        starts("FOVb") || (starts("ftyp", 4) && starts("crx ", 8)))
        return {Kind::Image, "raw"};
    if (starts({"II*\0", 4}) || starts({"MM\0*", 4}))
        return {Kind::Image, "tiff"};
    if (QByteArray format = isoMediaFormat(h); !format.isEmpty())
        return {Kind::Image, format};
    // A JPEG XL codestream, or the container that holds one.
    if (starts({"\xFF\x0A", 2}) || starts({"\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12}))
        return {Kind::Image, "jxl"};
    // TGA, which has no magic number (a TGA 2 file ends with a signature), and PBM/PGM/PPM.
    if (QByteArray format = formats::sniff(h, tail); !format.isEmpty())
        return {Kind::Image, format};
    return {Kind::Image, {}};
}

} // namespace lumorra::picture
