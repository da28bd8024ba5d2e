#include "Error.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

namespace lumorra {

Error Error::fromErrno(int errnoValue) {
    return Error{errnoValue, QString::fromLocal8Bit(std::strerror(errnoValue))};
}

Error Error::program(int number) {
    return Error{number, programErrorText(number)};
}

QString programErrorText(int number) {
    switch (number) {
    case errc::InvalidCall:
        return QStringLiteral("Invalid procedure call or argument");
    case errc::Overflow:
        return QStringLiteral("Overflow");
    case errc::OutOfMemory:
        return QStringLiteral("Out of memory");
    case errc::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case errc::Internal:
        return QStringLiteral("Internal error");
    case errc::PathAccess:
        return QStringLiteral("Path/File access error");
    case errc::PathNotFound:
        return QStringLiteral("Path not found");
    case errc::InvalidProperty:
        return QStringLiteral("Invalid property value");
    case errc::InvalidPicture:
        return QStringLiteral("Invalid picture");
    default:
        return QString();
    }
}

Error Error::fromCurrentException() noexcept {
    try {
        throw;
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return program(errc::OutOfMemory);
    } catch (const std::exception& e) {
        return Error{errc::Internal, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        return program(errc::Internal);
    }
}

} // namespace lumorra
