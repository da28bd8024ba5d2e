#pragma once

#include "TestServices.h"
#include "browser/Lists.h"
#include "browser/MainWindow.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QTest>

#include <initializer_list>
#include <memory>

namespace lumorra::test {

// The services of a test with the main window on a directory of its own. A test's fixture
// writes the settings it needs first, then calls openWindow().
struct WindowTest : TestServices {
    QString dir;
    std::unique_ptr<MainWindow> window;

    // The directory is made under the name given; none is made without a name.
    explicit WindowTest(const QString& dirName = QString())
        : dir(dirName.isEmpty() ? QString() : env.makeDir(dirName)) {}

    // Writes "0" to each of these settings: the switches a test wants off.
    void turnOff(std::initializer_list<QString> keys) {
        for (const QString& key : keys)
            settings.write(key, QStringLiteral("0"));
    }
    // Opens the program log and makes the main window, on the root volume alone.
    void openWindow() {
        openProgramLog();
        window = std::make_unique<MainWindow>(
            services, std::vector<Volume>{Volume{QStringLiteral("/"), QStringLiteral("/"), true}});
    }
    // A file of the directory with these bytes.
    QString file(const QString& name, const QByteArray& bytes = "data") {
        const QString path = dir + QLatin1Char('/') + name;
        writeFile(path, bytes);
        return path;
    }
    // A picture of the directory filled with one colour, in the format given.
    QString savePicture(const QString& name, QSize size, QColor colour, const char* format) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir + QLatin1Char('/') + name;
        image.save(path, format);
        return path;
    }
    // Lists the directory with the pattern and selects the named file; fails the test when
    // the list does not hold it.
    void select(const QString& name, const QString& pattern = QStringLiteral("*")) {
        window->setFilePattern(pattern);
        window->setDirPath(dir);
        for (int i = 0; i < window->File1->count(); ++i) {
            if (window->File1->item(i) == name) {
                window->File1->setListIndex(i);
                return;
            }
        }
        QFAIL(qPrintable(name));
    }
};

} // namespace lumorra::test
