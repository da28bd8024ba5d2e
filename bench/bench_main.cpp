// Measures the program's own code paths for bench/run. Each command prints one figure in
// milliseconds (and "rss_kb N" where asked) and exits; bench/run runs it several times and
// compares it with a reference measured in the same run.
//
//   lumorra_bench show FILE          selection to picture painted, main window 1280 x 1024
//   lumorra_bench next DIR STEPS     mean time of an arrow-key step through DIR's pictures
//   lumorra_bench list DIR           directory change to file list filled and count shown
//   lumorra_bench listref DIR        the same directory read by a plain directory_iterator loop
//   lumorra_bench listrule DIR       that loop doing what the list needs besides: one read of
//                                    the attributes (hidden files) per match, the names sorted
//   lumorra_bench infolist DIR       the info list with picture sizes of DIR's pictures
//   lumorra_bench huge FILE          a JPEG too large for memory in full: selection to shown at
//                                    "Auto", then at 1:1 the view of its bottom right corner
//                                    painted, and one screen of scrolling to the left (regions
//                                    decoded from the picture's bytes)
//   lumorra_bench makehuge FILE [W H] writes such a JPEG, 30000 x 20000 or W x H
//   lumorra_bench rawfull FILE       a camera RAW's bytes to its full decode (as for 1:1)
//   lumorra_bench makeraw JPEG FILE  writes a DNG of the photo's size, its sensor data made from
//                                    the photo's pixels, the photo itself its preview

#include "browser/MainWindow.h"
#include "browser/NaturalOrder.h"
#include "browser/SearchPattern.h"
#include "infolist/InfoListEditor.h"
#include "infolist/InfoListGenerator.h"
#include "picture/PictureLoader.h"
#include "picture/sandbox/PictureJobs.h"
#include "platform/FileAttributes.h"
#include "platform/Keys.h"
#include "support/DngWriter.h"
#include "support/TestServices.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"
#include "viewer/FileListKeys.h"
#include "viewer/SelectionViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <string>
#include <sys/xattr.h>
#include <vector>

using namespace lumorra;

namespace {

long peakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// The main window as the user has it: 1280 x 1024, auto zoom on, shown.
struct Bench : test::TestServices {
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<SelectionViewer> viewer;
    Bench() {
        settings.write(keys::AutoZoom, QStringLiteral("1"));
        settings.write(keys::OLE, QStringLiteral("0"));
        openProgramLog();
        window = std::make_unique<MainWindow>(
            services, std::vector<Volume>{Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
        viewer = std::make_unique<SelectionViewer>(*window, services);
        window->setFilePattern(defaults::PicPattern);
        window->resize(1280, 1024);
        window->show();
        QApplication::processEvents();
    }
    // Paints the viewer area now, as the screen would show it.
    void paint() { window->viewerArea->viewport()->repaint(); }
    int indexOf(const QString& name) const {
        for (int i = 0; i < window->File1->count(); ++i) {
            if (window->File1->item(i) == name)
                return i;
        }
        return -1;
    }
};

int show(const QString& file) {
    Bench b;
    const QFileInfo info(file);
    b.window->setDirPath(info.absolutePath());
    int index = b.indexOf(info.fileName());
    if (index < 0) { // a type the stored pattern leaves out, as a user would add it
        b.window->setFilePattern(QStringLiteral("*.") + info.suffix());
        b.window->setDirPath(info.absolutePath());
        index = b.indexOf(info.fileName());
    }
    if (index < 0) {
        std::fprintf(stderr, "not listed: %s\n", qPrintable(file));
        return 1;
    }
    QElapsedTimer t;
    t.start();
    b.window->File1->setListIndex(index);
    b.paint();
    const double ms = t.nsecsElapsed() / 1e6;
    if (b.window->Label5->text().isEmpty()) {
        std::fprintf(stderr, "the picture was not shown\n");
        return 1;
    }
    std::printf("%.3f\nrss_kb %ld\n", ms, peakRssKb());
    return 0;
}

long rssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// Starts the peak resident memory afresh from what is resident now.
void resetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

template <class F> double timed(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

// The picture at "Auto", then at "2:1": the extra peak memory of the zoom, one keypad step at
// 2:1, one screen of scrolling at 2:1, each against one repaint of the view at "Auto".
int zoom(const QString& file) {
    Bench b;
    FileListKeys keys(*b.window);
    const QFileInfo info(file);
    b.window->setDirPath(info.absolutePath());
    const int index = b.indexOf(info.fileName());
    if (index < 0)
        return 1;
    b.window->File1->setListIndex(index);
    // The area itself is repainted: what a scroll or a zoom makes the window system ask for.
    PictureArea* area = b.window->Image1;
    area->repaint();
    const double repaint = timed([&] { area->repaint(); });
    resetPeakRss();
    const long before = rssKb();
    b.window->Option4->click();
    QApplication::processEvents();
    b.paint();
    const long extra = peakRssKb() - before;
    // The key's handler, then the events it posted: among them the repaint of what it
    // changed, which is done then (a repaint after it would paint the same a second time).
    const double step = timed([&] {
        keys.File1_KeyDown(Qt::Key_Plus, Qt::KeypadModifier);
        QApplication::processEvents();
    });
    QScrollBar* bar = b.window->viewerArea->verticalScrollBar();
    const double pan = timed([&] {
        bar->setValue(bar->value() + b.window->viewerArea->viewport()->height());
        area->repaint();
    });
    if (b.window->StatusBar1->text(4) != QLatin1String("User")) {
        std::fprintf(stderr, "the zoom did not take\n");
        return 1;
    }
    std::printf("extra_kb %ld\nrepaint %.3f\nstep %.3f\npan %.3f\n", extra, repaint, step, pan);
    return 0;
}

// libheif's own decode of a HEIF file's primary image to interleaved RGB, timed alone: the
// reference for showing it.
int heifReference(const QString& file) {
    QElapsedTimer t;
    t.start();
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    bool ok =
        heif_context_read_from_file(context, QFile::encodeName(file).constData(), nullptr).code ==
            heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          nullptr)
                .code == heif_error_Ok;
    const double ms = t.nsecsElapsed() / 1e6;
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    if (!ok)
        return 1;
    std::printf("%.3f\n", ms);
    return 0;
}

int next(const QString& dir, int steps) {
    Bench b;
    b.window->setDirPath(dir);
    if (b.window->File1->count() < steps + 1) {
        std::fprintf(stderr, "too few pictures in %s\n", qPrintable(dir));
        return 1;
    }
    b.window->File1->setFocus();
    b.window->File1->setListIndex(0);
    b.paint();
    double total = 0;
    for (int i = 0; i < steps; ++i) {
        // A person looks at each picture for a moment before the next key.
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 400)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        QElapsedTimer t;
        t.start();
        QTest::keyClick(b.window->File1, Qt::Key_Down);
        b.paint();
        total += t.nsecsElapsed() / 1e6;
    }
    if (b.window->File1->listIndex() != steps) {
        std::fprintf(stderr, "the arrow key did not move the selection\n");
        return 1;
    }
    std::printf("%.3f\n", total / steps);
    return 0;
}

int list(const QString& dir) {
    Bench b;
    b.window->setDirPath(QFileInfo(dir).absolutePath());
    QElapsedTimer t;
    t.start();
    b.window->setDirPath(dir);
    QApplication::processEvents();
    const double ms = t.nsecsElapsed() / 1e6;
    if (b.window->File1->count() == 0 ||
        b.window->Label6->text() != QString::number(b.window->File1->count()) + " File(s)") {
        std::fprintf(stderr, "the list or its count is wrong: %s\n",
                     qPrintable(b.window->Label6->text()));
        return 1;
    }
    std::printf("%.3f\n", ms);
    return 0;
}

int listReference(const QString& dir) {
    const SearchPattern pattern = SearchPattern::parse(defaults::PicPattern);
    QElapsedTimer t;
    t.start();
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.toStdString())) {
        const std::string name = entry.path().filename().string();
        if (pattern.matches(QString::fromStdString(name)))
            names.push_back(name);
    }
    const double ms = t.nsecsElapsed() / 1e6;
    if (names.empty())
        return 1;
    std::printf("%.3f\n", ms);
    return 0;
}

int listRuleReference(const QString& dir) {
    const SearchPattern pattern = SearchPattern::parse(defaults::PicPattern);
    QElapsedTimer t;
    t.start();
    QStringList names;
    char attributes[64];
    for (const auto& entry : std::filesystem::directory_iterator(dir.toStdString())) {
        const QString name = QString::fromStdString(entry.path().filename().string());
        if (name.startsWith(QLatin1Char('.')) || !pattern.matches(name))
            continue;
        // Hidden and system files are left out; most files have no attributes at all.
        const ssize_t n =
            ::getxattr(entry.path().c_str(), AttributesXattr, attributes, sizeof attributes);
        if (n > 0 && (std::atoi(std::string(attributes, size_t(n)).c_str()) &
                      (attr::Hidden | attr::System)) != 0)
            continue;
        names.push_back(name);
    }
    naturalSort(names);
    const double ms = t.nsecsElapsed() / 1e6;
    if (names.empty())
        return 1;
    std::printf("%.3f\n", ms);
    return 0;
}

// The editor as the info list writes into it, holding the text only.
class TextOnlyEditor : public QWidget, public InfoListEditor {
public:
    QWidget* window() override { return this; }
    QString text() const override { return text_; }
    void appendText(const QString& text) override { text_ += text; }
    void setDocumentState(const QString&, const QString&, const QString&) override {}
    void setPanelText(int, const QString&) override {}
    QString text_;
};

int infoList(const QString& dir) {
    Bench b;
    b.window->setDirPath(dir);
    InfoListGenerator generator(*b.window, b.services);
    TextOnlyEditor editor;
    generator.editor = [&]() -> InfoListEditor* { return &editor; };
    generator.setSeparateWindowsState = [](Qt::WindowState) {};
    b.dialogs.answerMessage(Answer::Yes); // with picture sizes
    QElapsedTimer t;
    t.start();
    generator.mnuinfolist_Click();
    const double ms = t.nsecsElapsed() / 1e6;
    const int lines = static_cast<int>(editor.text_.count(QLatin1Char('\n')));
    if (lines < b.window->File1->count()) {
        std::fprintf(stderr, "the list has %d lines for %d files\n", lines,
                     b.window->File1->count());
        return 1;
    }
    std::printf("%.3f\n", ms);
    return 0;
}

int huge(const QString& file) {
    Bench b;
    const QFileInfo info(file);
    b.window->setFilePattern(QStringLiteral("*.jpg"));
    b.window->setDirPath(info.absolutePath());
    const int index = b.indexOf(info.fileName());
    if (index < 0)
        return 1;
    const double show = timed([&] {
        b.window->File1->setListIndex(index);
        b.paint();
    });
    b.window->Option3->click();
    QApplication::processEvents();
    QScrollBar* across = b.window->viewerArea->horizontalScrollBar();
    QScrollBar* down = b.window->viewerArea->verticalScrollBar();
    PictureArea* area = b.window->Image1;
    const double corner = timed([&] {
        across->setValue(across->maximum());
        down->setValue(down->maximum());
        area->repaint();
    });
    const double pan = timed([&] {
        across->setValue(across->value() - b.window->viewerArea->viewport()->width());
        area->repaint();
    });
    if (b.window->StatusBar1->text(4) != QLatin1String("1:1") || area->width() != 30000) {
        std::fprintf(stderr, "the picture was not shown at 1:1\n");
        return 1;
    }
    std::printf("show %.3f\ncorner %.3f\npan %.3f\nrss_kb %ld\n", show, corner, pan, peakRssKb());
    return 0;
}

// Smooth colours, a grid and patches of one-pixel checks: compresses to about 35 MB.
int rawFull(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = f.readAll();
    QImage image;
    const double ms = timed([&] { image = decodePicture(test::decoders(), bytes).image; });
    if (image.isNull())
        return 1;
    std::printf("%.3f\n", ms);
    return 0;
}

int makeRaw(const QString& jpeg, const QString& out) {
    QFile in(jpeg);
    const QImage photo(jpeg);
    if (!in.open(QIODevice::ReadOnly) || photo.isNull())
        return 1;
    test::DngParts parts{photo.size(), {}, 1, {}, in.readAll(), photo.size()};
    parts.data.resize(qsizetype(photo.width()) * photo.height() * 2);
    for (int y = 0; y < photo.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(photo.constScanLine(y));
        auto* to = reinterpret_cast<quint16*>(parts.data.data()) + qsizetype(y) * photo.width();
        for (int x = 0; x < photo.width(); ++x) {
            const int channel = (y % 2) + (x % 2);
            const int v = channel == 0   ? qRed(row[x])
                          : channel == 1 ? qGreen(row[x])
                                         : qBlue(row[x]);
            to[x] = qToLittleEndian(test::sensorValue(v));
        }
    }
    QFile f(out);
    const QByteArray dng = test::dngFile(parts);
    return f.open(QIODevice::WriteOnly) && f.write(dng) == dng.size() ? 0 : 1;
}

int makeHuge(const QString& file, int w = 30000, int h = 20000) {
    std::FILE* out = std::fopen(QFile::encodeName(file).constData(), "wb");
    if (out == nullptr)
        return 1;
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            JSAMPLE* p = &row[std::size_t(x) * 3];
            p[0] = JSAMPLE(x * 255 / w), p[1] = JSAMPLE(y * 255 / h), p[2] = 128;
            if (x % 500 < 3 || y % 500 < 3)
                p[0] = p[1] = p[2] = 255;
            if (x % 500 >= 50 && x % 500 < 150 && y % 500 >= 50 && y % 500 < 150)
                p[0] = p[1] = p[2] = (x + y) % 2 == 0 ? 255 : 0;
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&c, &line, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(out) == 0 ? 0 : 1;
}

} // namespace

// A photo decoded in full, shown through a decoder worker (`sandbox`) or in this process
// (`sandboxref`): the median of 15 decodes (or COUNT), after one that starts the workers. As in the
// viewer, the picture shown stays until the next one has been decoded.
int sandbox(const QString& file, bool worker, int count) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = f.readAll();
    const auto decode = [&] {
        if (worker)
            return lumorra::decodePicture(lumorra::test::decoders(), bytes).image;
        lumorra::picture::PictureFile held(bytes);
        return lumorra::picture::decodeJob(held, QSize(), lumorra::picture::pictureByteBudget(),
                                           true)
            .image;
    };
    QImage shown = decode();
    if (shown.isNull())
        return 1;
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        QImage image = decode();
        times.push_back(t.nsecsElapsed() / 1e6);
        if (image.isNull())
            return 1;
        shown = std::move(image);
        // A user looks at one picture at a time: the next worker is ready by the next one.
        QThread::msleep(20);
    }
    std::sort(times.begin(), times.end());
    std::printf("%.3f\n", times[times.size() / 2]);
    return 0;
}

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString command = args.value(1);
    if (command == QLatin1String("show") && args.size() == 3)
        return show(args[2]);
    if ((command == QLatin1String("sandbox") || command == QLatin1String("sandboxref")) &&
        (args.size() == 3 || args.size() == 4))
        return sandbox(args[2], command == QLatin1String("sandbox"),
                       args.size() == 4 ? qMax(1, args[3].toInt()) : 15);
    if (command == QLatin1String("heifref") && args.size() == 3)
        return heifReference(args[2]);
    if (command == QLatin1String("zoom") && args.size() == 3)
        return zoom(args[2]);
    if (command == QLatin1String("next") && args.size() == 4)
        return next(args[2], args[3].toInt());
    if (command == QLatin1String("list") && args.size() == 3)
        return list(args[2]);
    if (command == QLatin1String("listref") && args.size() == 3)
        return listReference(args[2]);
    if (command == QLatin1String("listrule") && args.size() == 3)
        return listRuleReference(args[2]);
    if (command == QLatin1String("infolist") && args.size() == 3)
        return infoList(args[2]);
    if (command == QLatin1String("huge") && args.size() == 3)
        return huge(args[2]);
    if (command == QLatin1String("makehuge") && args.size() == 3)
        return makeHuge(args[2]);
    if (command == QLatin1String("makehuge") && args.size() == 5)
        return makeHuge(args[2], args[3].toInt(), args[4].toInt());
    if (command == QLatin1String("rawfull") && args.size() == 3)
        return rawFull(args[2]);
    if (command == QLatin1String("makeraw") && args.size() == 4)
        return makeRaw(args[2], args[3]);
    std::fprintf(stderr, "usage: lumorra_bench show FILE | next DIR STEPS | list DIR | "
                         "listref DIR | listrule DIR | infolist DIR | zoom FILE | "
                         "heifref FILE | sandbox FILE [COUNT] | sandboxref FILE [COUNT] | huge "
                         "FILE | makehuge FILE [W H] | rawfull FILE | makeraw JPEG FILE\n");
    return 2;
}
