#include "DrawingWorker.h"

#include "picture/formats/FormatLibraries.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>

#include <fontconfig/fontconfig.h>
#include <iconv.h>

namespace lumorra::picture {
namespace {

void addStrings(QByteArrayList& out, FcStrList* list) {
    if (list == nullptr)
        return;
    while (FcChar8* s = FcStrListNext(list))
        out << QByteArray(reinterpret_cast<const char*>(s));
    FcStrListDone(list);
}

int threadCount() {
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

QByteArrayList prepareDrawing(bool* ok) {
    // A worker forked from the zygote has no application; one forked from the program (when
    // the zygote cannot be started) has the program's. Never destroyed: the worker ends with
    // its job.
    if (QCoreApplication::instance() == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qunsetenv("QT_QPA_PLATFORMTHEME");
        static int argc = 1;
        static char name[] = "lumorra_decoder";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
    }
    // The font list, and the default font's file, read now: fontconfig would otherwise read (and
    // perhaps write) its caches at the first text.
    (void)QFontDatabase::families();
    (void)QFontMetrics(QFont()).height();
    FcInit();
    // libemf2svg turns the EMF's UTF-16 text into UTF-8 with iconv, which reads its module list
    // and loads the module of the encoding at its first use: loaded now, and kept.
    static const iconv_t utf16 = iconv_open("UTF-8", "UTF-16LE");
    Q_UNUSED(utf16);
    loadMetafileLibraries();
    QByteArrayList readable{"/usr/share/fonts", "/usr/local/share/fonts", "/etc/fonts",
                            // libwmf's font maps
                            "/etc/libwmf.fontmap", "/var/lib/ghostscript/fonts"};
    FcConfig* config = FcConfigGetCurrent();
    addStrings(readable, FcConfigGetFontDirs(config));
    addStrings(readable, FcConfigGetCacheDirs(config));
    addStrings(readable, FcConfigGetConfigDirs(config));
    const QByteArray home = QFile::encodeName(QDir::homePath());
    readable << home + "/.fonts" << home + "/.local/share/fonts";
    *ok = threadCount() == 1;
    return readable;
}

} // namespace lumorra::picture
