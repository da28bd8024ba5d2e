#include "FileInfoWindow.h"

#include "FileOperations.h"
#include "browser/MainWindow.h"
#include "core/Services.h"
#include "picture/PictureLoader.h"
#include "platform/Error.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/Screen.h"
#include "platform/Text.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumorra {
namespace {

const QString NoFile = QStringLiteral("No file selected");

template <class W> W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* valueLabel(const char* name, QWidget* parent) {
    auto* l = named(new QLabel(NoFile, parent), name);
    l->setTextFormat(Qt::PlainText);
    // A long name or path is cut at the window's edge rather than widening the window.
    l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QFrame* line(const char* name, QWidget* parent) {
    auto* f = named(new QFrame(parent), name);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

} // namespace

FileInfoWindow::FileInfoWindow(MainWindow& window, Services& services, FileOperations& operations,
                               QWidget* parent)
    : QDialog(parent), w_(window), s_(services), operations_(operations) {
    setObjectName(QStringLiteral("Form10"));
    setWindowTitle(QStringLiteral("File Information"));
    setModal(true);

    createControls();
    arrangeControls();

    // The client area is 5676 x 3912 twips.
    ignoreErrors([&] {
        setFixedSize(static_cast<int>(std::lround(5676 / s_.screen.twipsPerPixelX())),
                     static_cast<int>(std::lround(3912 / s_.screen.twipsPerPixelY())));
    });

    connect(Command1, &QPushButton::clicked, this, &FileInfoWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FileInfoWindow::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FileInfoWindow::Command3_Click);
    Form_Load();
    Command3->setFocus();
}

void FileInfoWindow::createControls() {
    Label1 = named(new QLabel(QStringLiteral("Filename:"), this), "Label1");
    Label5 = valueLabel("Label5", this);
    Label4 = named(new QLabel(QStringLiteral("Location:"), this), "Label4");
    Label6 = valueLabel("Label6", this);
    Label2 = named(new QLabel(QStringLiteral("Filesize:"), this), "Label2");
    Label7 = valueLabel("Label7", this);
    Label3 = named(new QLabel(QStringLiteral("Changed:"), this), "Label3");
    Label8 = valueLabel("Label8", this);
    Line1 = line("Line1", this);
    Label9 = named(new QLabel(QStringLiteral("File attributes:"), this), "Label9");
    Check2 = named(new QCheckBox(QStringLiteral("Read-only"), this), "Check2");
    Check3 = named(new QCheckBox(QStringLiteral("Hidden"), this), "Check3");
    Check1 = named(new QCheckBox(QStringLiteral("Archive"), this), "Check1");
    Check4 = named(new QCheckBox(QStringLiteral("System"), this), "Check4");
    Line2 = line("Line2", this);
    Command1 = named(new QPushButton(QStringLiteral("Rename..."), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Delete"), this), "Command2");
    Command3 = named(new QPushButton(QStringLiteral("OK"), this), "Command3");
    for (QPushButton* b : {Command1, Command2, Command3})
        b->setAutoDefault(false);
    Command3->setDefault(true);
}

void FileInfoWindow::arrangeControls() {
    auto* facts = new QGridLayout;
    facts->setColumnStretch(1, 1);
    const std::pair<QLabel*, QLabel*> rows[] = {
        {Label1, Label5}, {Label4, Label6}, {Label2, Label7}, {Label3, Label8}};
    int row = 0;
    for (const auto& [title, value] : rows) {
        facts->addWidget(title, row, 0);
        facts->addWidget(value, row, 1);
        ++row;
    }

    auto* attributes = new QGridLayout;
    attributes->setContentsMargins(16, 0, 0, 0);
    attributes->addWidget(Check2, 0, 0);
    attributes->addWidget(Check3, 0, 1);
    attributes->addWidget(Check1, 1, 0);
    attributes->addWidget(Check4, 1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(facts);
    layout->addWidget(Line1);
    layout->addWidget(Label9);
    layout->addLayout(attributes);
    layout->addStretch();
    layout->addWidget(Line2);
    layout->addLayout(buttons);

    buildDetails(*layout);

    setTabOrder(Command3, Command2);
    setTabOrder(Command2, Command1);
    setTabOrder(Command1, Check2);
    setTabOrder(Check2, Check3);
    setTabOrder(Check3, Check1);
    setTabOrder(Check1, Check4);
}

// The camera details' rows, below the buttons, hidden until a photo has them.
void FileInfoWindow::buildDetails(QVBoxLayout& layout) {
    Details = named(new QWidget(this), "Details");
    auto* details = new QGridLayout(Details);
    details->setContentsMargins(0, 0, 0, 0);
    details->setColumnStretch(1, 1);
    details->addWidget(line("Line3", Details), 0, 0, 1, 2);
    const char* const titles[] = {"Camera:",   "Lens:", "Focal length:", "Exposure time:",
                                  "Aperture:", "ISO:",  "Date taken:",   "GPS position:"};
    const char* const names[] = {"Camera",   "Lens", "FocalLength", "ExposureTime",
                                 "Aperture", "Iso",  "Taken",       "Position"};
    for (int i = 0; i < 8; ++i) {
        detailTitles[size_t(i)] = new QLabel(QString::fromLatin1(titles[i]), Details);
        detailValues[size_t(i)] = valueLabel(names[i], Details);
        details->addWidget(detailTitles[size_t(i)], i + 1, 0);
        details->addWidget(detailValues[size_t(i)], i + 1, 1);
    }
    Details->hide();
    layout.addWidget(Details);
}

void FileInfoWindow::Form_Load() {
    const QString path = w_.currentFile();
    if (path.isEmpty())
        return;
    // The first failure ends the loading; what is filled stays, the rest keeps its start text.
    ignoreErrors([&] {
        // The file the buttons act on: its own name and directory.
        const QFileInfo info(path);
        Label5->setText(info.fileName());
        Label5->setToolTip(info.fileName());
        const QString dir = info.path();
        Label6->setText(dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/'));
        Label6->setToolTip(Label6->text());
        Label7->setText(numberText(fileLength(path)) + QStringLiteral(" bytes"));
        Label8->setText(generalDateText(fileModified(path)));
        const int bits = fileAttributes(path);
        Check2->setChecked(bits & attr::ReadOnly);
        Check3->setChecked(bits & attr::Hidden);
        Check4->setChecked(bits & attr::System);
        Check1->setChecked(bits & attr::Archive);
    });
    showDetails(path);
}

void FileInfoWindow::showDetails(const QString& path) {
    const PictureDetails d = pictureDetails(s_.decoders, path);
    if (d.isEmpty())
        return;
    const QString values[] = {d.camera,
                              d.lens,
                              d.focalLength,
                              d.exposureTime,
                              d.aperture,
                              d.iso,
                              d.taken.isValid() ? generalDateText(d.taken) : QString(),
                              d.position};
    for (size_t i = 0; i < 8; ++i) {
        detailValues[i]->setText(values[i]);
        detailValues[i]->setToolTip(values[i]);
        detailTitles[i]->setVisible(!values[i].isEmpty());
        detailValues[i]->setVisible(!values[i].isEmpty());
    }
    // The window grows by the details, below what it shows without them, which stays in place.
    Details->show();
    setFixedHeight(height() + layout()->spacing() + Details->sizeHint().height());
}

void FileInfoWindow::Command1_Click() {
    operations_.renameCurrentFile(FileOperations::Reporting::Window, this);
    accept();
}

void FileInfoWindow::Command2_Click() {
    operations_.deleteCurrentFile(FileOperations::Reporting::Window, this);
    accept();
}

void FileInfoWindow::Command3_Click() {
    const QString path = w_.currentFile();
    if (!path.isEmpty()) {
        const int value =
            (Check1->isChecked() ? attr::Archive : 0) + (Check2->isChecked() ? attr::ReadOnly : 0) +
            (Check3->isChecked() ? attr::Hidden : 0) + (Check4->isChecked() ? attr::System : 0);
        ignoreErrors([&] { setFileAttributes(path, value); });
    }
    accept();
}

} // namespace lumorra
