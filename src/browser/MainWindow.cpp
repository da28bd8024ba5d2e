#include "MainWindow.h"

#include "core/Artwork.h"
#include "core/Services.h"
#include "platform/Error.h"
#include "platform/StatusBar.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSplitter>
#include <QVBoxLayout>

#include <cerrno>

namespace lumorra {
namespace {

template <class W> W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

MainWindow::MainWindow(Services& services, std::vector<Volume> volumes, QWidget* parent)
    : QWidget(parent), s_(services) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Lumorra"));
    setWindowIcon(programIcon());

    Drive1 = named(new DriveList(std::move(volumes), this), "Drive1");
    Drive1->setToolTip(QStringLiteral("Select a Harddrive"));
    Dir1 = named(new DirList(this), "Dir1");
    Dir1->setToolTip(QStringLiteral("Select a Directory"));
    File1 = named(new FileList(this), "File1");
    File1->setToolTip(QStringLiteral("Select file (right click to view menu)"));

    Text2 = named(new QLineEdit(this), "Text2");
    Text2->setToolTip(QStringLiteral("Autoskip interval in seconds"));
    Text2->setMaximumWidth(48);
    Label9 = named(new QLabel(QStringLiteral("sec."), this), "Label9");
    Text3 = named(new QLineEdit(this), "Text3");
    Label1 = named(new QLabel(this), "Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label2 = named(new QLabel(QStringLiteral("pic"), this), "Label2");
    Label2->hide();
    Label3 = named(new QLabel(QStringLiteral("Picture size:"), this), "Label3");
    Label5 = named(new QLabel(QStringLiteral("0 x 0"), this), "Label5");
    Label8 = named(new QLabel(QStringLiteral("Pixels"), this), "Label8");
    Label6 = named(new QLabel(QStringLiteral("Label6"), this), "Label6");
    Label7 = named(new QLabel(QStringLiteral("Current:"), this), "Label7");

    viewerArea = named(new QFrame(this), "viewerArea");
    viewerArea->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    viewerArea->setMinimumSize(320, 240);
    viewerArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    viewerArea->setAutoFillBackground(true);
    QPalette pal = viewerArea->palette();
    pal.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    viewerArea->setPalette(pal);

    StatusBar1 = named(new StatusBar(this), "StatusBar1");
    StatusBar1->addPanel({QStringLiteral("filetype"), QStringLiteral("Click to change file type"),
                          QString(), StatusBar::Bevel::Inset, false, 90});
    StatusBar1->addPanel({QStringLiteral("file"), QStringLiteral("Click to view file information"),
                          QString(), StatusBar::Bevel::Inset, true, 200});
    StatusBar1->addPanel({QStringLiteral("copydes"), QStringLiteral("Click to view DIR Browser"),
                          QString(), StatusBar::Bevel::Inset, false, 220});
    StatusBar1->addPanel(
        {QString(), QStringLiteral("Zoom info"), QString(), StatusBar::Bevel::Inset, false, 70});

    // Left: the browser. Right: the viewer with its information rows below.
    auto* browser = new QWidget(this);
    auto* left = new QVBoxLayout(browser);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(Drive1);
    left->addWidget(Dir1, 2);
    left->addWidget(File1, 3);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(Label6);
    countRow->addStretch();
    countRow->addWidget(Label7);
    left->addLayout(countRow);
    browser->setMinimumWidth(240);

    auto* viewer = new QWidget(this);
    auto* right = new QVBoxLayout(viewer);
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(viewerArea, 1);
    auto* info = new QHBoxLayout;
    info->addWidget(Label3);
    info->addWidget(Label5);
    info->addWidget(Label8);
    info->addStretch();
    info->addWidget(Text2);
    info->addWidget(Label9);
    right->addLayout(info);
    auto* copyRow = new QHBoxLayout;
    copyRow->addWidget(Text3, 1);
    right->addLayout(copyRow);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(browser);
    split->addWidget(viewer);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({280, 700});

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 0);
    top->addWidget(split, 1);
    top->addWidget(Label1);
    top->addWidget(StatusBar1);
    resize(1000, 700);

    connect(Drive1, &DriveList::changed, this, &MainWindow::Drive1_Change);
    connect(Dir1, &DirList::changed, this, &MainWindow::Dir1_Change);

    // Until the start-up sequence says otherwise, the lists stand on the user's home.
    ignoreErrors([this] {
        Drive1->setDrive(QDir::homePath());
        Dir1->setPath(QDir::homePath());
    });
}

void MainWindow::Drive1_Change() {
    try {
        const Volume* v = Drive1->selectedVolume();
        if (!v || !v->ready)
            throw Error::fromErrno(ENOMEDIUM);
        Dir1->setPath(v->rootPath);
    } catch (...) {
        // No medium or not readable: back to the drive of the directory shown, silently.
        ignoreErrors([this] { Drive1->setDrive(Dir1->path()); });
    }
}

void MainWindow::Dir1_Change() {
    ignoreErrors([this] { File1->setPath(Dir1->path()); });
    ignoreErrors(
        [this] { Label6->setText(QString::number(File1->count()) + QStringLiteral(" File(s)")); });
    ignoreErrors([this] { Label7->setText(QStringLiteral("Current: ")); });
}

void MainWindow::registerSecondaryWindow(QWidget* window) {
    secondary_.push_back(window);
}

void MainWindow::setFilePattern(const QString& pattern) {
    File1->setPattern(pattern);
}
void MainWindow::setDriveFromPath(const QString& path) {
    Drive1->setDrive(path);
}
void MainWindow::setDirPath(const QString& path) {
    Dir1->setPath(path);
}
void MainWindow::setCopyDir(const QString& dir) {
    Text3->setText(dir);
}
QString MainWindow::copyDir() const {
    return Text3->text();
}
void MainWindow::setIntervalText(const QString& text) {
    Text2->setText(text);
}
QString MainWindow::intervalText() const {
    return Text2->text();
}
QString MainWindow::currentFile() const {
    return Label1->text();
}
void MainWindow::setPanelText(int panel, const QString& text) {
    StatusBar1->setText(panel, text);
}
int MainWindow::fileCount() const {
    return File1->count();
}
void MainWindow::setFileCountText(const QString& text) {
    Label6->setText(text);
}

void MainWindow::closeSecondaryWindows() {
    for (const QPointer<QWidget>& w : secondary_) {
        ignoreErrors([w] {
            if (w)
                w->close();
        });
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        runClosingSequence(
            s_, [this] { closeSecondaryWindows(); }, Text2->text());
    }
    event->accept();
    emit closed();
}

} // namespace lumorra
