#include "Logs.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace lumorra {
namespace {

constexpr int DotsEndColumn = 53;

Error openError(const QFile& f) {
    if (errno != 0)
        return Error::fromErrno(errno);
    return Error{errc::PathAccess, f.errorString()};
}

} // namespace

QString runLogStatusLine(const QString& label) {
    QString out = label;
    out += QString(qMax(1, DotsEndColumn - static_cast<int>(label.size())), QLatin1Char('.'));
    out += QStringLiteral(" OK");
    return out;
}

void RunLog::open(const QString& path) {
    if (file_.isOpen())
        file_.close();
    // The new run log is made under a hidden name of its own and then takes the earlier one's
    // place in one step, so two starts at once never write into one file: the run log that
    // stays is the later start's.
    const QString dir = QFileInfo(path).path();
    int fd = -1;
    QByteArray temp;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = QFile::encodeName(
            dir + QStringLiteral("/.LMRunLog-%1-%2")
                      .arg(QCoreApplication::applicationPid())
                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 10))
            throw Error::fromErrno(errno);
    }
    if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(temp.constData());
        throw Error::fromErrno(err);
    }
    errno = 0;
    if (!file_.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw openError(file_);
    }
    line(QStringLiteral("***Tovik Software, Lumorra Run Logfile***"));
    line(QString());
}

void RunLog::line(const QString& text) {
    if (!file_.isOpen())
        return;
    const QByteArray data = text.toUtf8() + "\r\n";
    if (file_.write(data) != data.size())
        throw Error{errc::PathAccess, file_.errorString()};
}

void RunLog::close() {
    file_.close();
}

void ProgramLog::open(const QString& path) {
    if (file_.isOpen())
        file_.close();
    file_.setFileName(path);
    errno = 0;
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw openError(file_);
}

QString ProgramLog::stamp() const {
    if (stamp_)
        return stamp_();
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    return QStringLiteral("<") + locale.toString(now.date(), QLocale::ShortFormat) +
           QStringLiteral(", ") + locale.toString(now.time(), QLocale::ShortFormat) +
           QStringLiteral("> ");
}

void ProgramLog::record(const QString& text, bool quoted) {
    writeLine(stamp() + text, quoted);
}

void ProgramLog::writeLine(const QString& text, bool quoted) {
    if (quoted && !text.isEmpty())
        write('"' + text.toUtf8() + '"');
    else
        write(text.toUtf8());
}

void ProgramLog::emptyLine() {
    writeLine(QString(), true);
}

void ProgramLog::write(const QByteArray& line) {
    if (!file_.isOpen())
        return;
    // One write per line: with O_APPEND two running instances never interleave inside a line.
    const QByteArray data = line + "\r\n";
    if (file_.write(data) != data.size())
        throw Error{errc::PathAccess, file_.errorString()};
}

void ProgramLog::close() {
    file_.close();
}

QString errorRecordText(const Error& e, const QString& unknownArea, const QString& numberedArea) {
    if (e.description.isEmpty())
        return QStringLiteral("Unknown ") + unknownArea + QStringLiteral(" ERROR");
    return numberedArea + QStringLiteral(" ERROR ") + QString::number(e.number) +
           QStringLiteral(" (") + e.description + QLatin1Char(')');
}

} // namespace lumorra
