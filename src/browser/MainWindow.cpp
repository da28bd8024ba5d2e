#include "MainWindow.h"

#include "FileTypeWindow.h"
#include "core/Artwork.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "movie/MovieControl.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Help.h"
#include "platform/Keys.h"
#include "platform/SettingsStore.h"
#include "platform/StartupProfile.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>

namespace lumorra {
namespace {

template <class W> W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QPushButton* button(const char* name, const QString& caption, const QString& tip, QWidget* parent) {
    auto* b = named(new QPushButton(caption, parent), name);
    b->setToolTip(tip);
    return b;
}

QRadioButton* option(const char* name, const QString& caption, const QString& tip,
                     QWidget* parent) {
    auto* o = named(new QRadioButton(caption, parent), name);
    o->setToolTip(tip);
    return o;
}

QAction* entry(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

void separator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

} // namespace

QString joinPath(const QString& dir, const QString& name) {
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

MainWindow::MainWindow(Services& services, std::vector<Volume> volumes, QWidget* parent)
    : MainWindow(services, *new VolumeWatch(std::move(volumes)), parent) {
    volumes_.setParent(this);
}

MainWindow::MainWindow(Services& services, VolumeWatch& volumes, QWidget* parent)
    : QWidget(parent), s_(services), volumes_(volumes) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Lumorra"));
    // The program's icon, drawn once for the application where it set one.
    const QIcon programs = QApplication::windowIcon();
    setWindowIcon(programs.isNull() ? programIcon() : programs);
    buildBrowser();
    buildViewerArea();
    buildCommands();
    buildLabels();
    buildStatusBar();
    buildMenus();
    buildLayout();
    connectParts();
    profile::mark("main window: widgets");
}

void MainWindow::standOnHomeUnlessPlaced() {
    if (!Dir1->path().isEmpty())
        return;
    ignoreErrors([this] {
        Drive1->setDrive(QDir::homePath());
        Dir1->setPath(QDir::homePath());
    });
}

void MainWindow::buildBrowser() {
    Drive1 = named(new DriveList(volumes_.volumes(), this), "Drive1");
    Drive1->setToolTip(QStringLiteral("Select a Harddrive"));
    Dir1 = named(new DirList(this), "Dir1");
    Dir1->setToolTip(QStringLiteral("Select a Directory"));
    File1 = named(new FileList(this), "File1");
    File1->setToolTip(QStringLiteral("Select file (right click to view menu)"));
    File2 = named(new FileList(this), "File2");
    File2->hide();
}

void MainWindow::buildViewerArea() {
    // The viewer area scrolls, so a picture larger than the area can be seen whole.
    viewerArea = named(new QScrollArea(this), "viewerArea");
    viewerArea->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    viewerArea->setMinimumSize(320, 240);
    viewerArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    viewerArea->setWidgetResizable(false);
    QPalette pal = viewerArea->palette();
    pal.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    viewerArea->setPalette(pal);
    viewerArea->setBackgroundRole(QPalette::Window);
    viewerCanvas_ = new QWidget;
    viewerCanvas_->setObjectName(QStringLiteral("viewerCanvas"));
    viewerCanvas_->setPalette(pal);
    viewerCanvas_->setAutoFillBackground(true);
    viewerArea->setWidget(viewerCanvas_);
    Image1 = named(new PictureArea(s_.screen, viewerCanvas_), "Image1");
    Image1->setToolTip(QStringLiteral("Click on picture for full screen view"));
    Image1->move(0, 0);
    AM1 = named(new MovieControl(viewerCanvas_), "AM1");
    AM1->hide();
    Picture1 = named(new PictureArea(s_.screen, this), "Picture1");
    Picture1->hide();
    Image2 = named(new QLabel(this), "Image2");
    Image2->hide();
}

// The zoom frame, the command buttons, the autoskip interval and the work fields.
void MainWindow::buildCommands() {
    Frame1 = named(new QGroupBox(QStringLiteral("Zoom"), this), "Frame1");
    Option1 =
        option("Option1", QStringLiteral("1:4"), QStringLiteral("Fourth original size"), Frame1);
    Option2 =
        option("Option2", QStringLiteral("1:2"), QStringLiteral("Half original size"), Frame1);
    Option3 = option("Option3", QStringLiteral("1:1"), QStringLiteral("Original size"), Frame1);
    Option4 =
        option("Option4", QStringLiteral("2:1"), QStringLiteral("Double original size"), Frame1);
    auto* zoomRow = new QHBoxLayout(Frame1);
    zoomRow->setContentsMargins(6, 2, 6, 2);
    for (QRadioButton* o : {Option1, Option2, Option3, Option4})
        zoomRow->addWidget(o);

    Command2 = button("Command2", QStringLiteral("&File Copy"),
                      QStringLiteral("Copy file to destination directory"), this);
    Command7 = button("Command7", QStringLiteral("File &Move"),
                      QStringLiteral("Move file to destination directory"), this);
    Command6 =
        button("Command6", QStringLiteral("&Copy"), QStringLiteral("Copy file to clipboard"), this);
    Command3 = button("Command3", QStringLiteral("&Paste"),
                      QStringLiteral("Paste data from clipboard"), this);
    Command4 = button("Command4", QStringLiteral("&Run"), QStringLiteral("Start autoskip"), this);
    Command5 = button("Command5", QStringLiteral("&Stop"), QStringLiteral("Stop autoskip"), this);
    Text2 = named(new QLineEdit(this), "Text2");
    Text2->setToolTip(QStringLiteral("Autoskip interval in seconds"));
    Text2->setMaximumWidth(48);
    Label9 = named(new QLabel(QStringLiteral("sec."), this), "Label9");
    Timer1 = named(new QTimer(this), "Timer1");
    Text3 = named(new QLineEdit(this), "Text3");
    Text3->setPlaceholderText(QStringLiteral("Copy directory"));
    Text1 = named(new QLineEdit(this), "Text1");
    Text1->hide();
    Text4 = named(new QLineEdit(this), "Text4");
    Text4->hide();
}

void MainWindow::buildLabels() {
    Label1 = named(new QLabel(this), "Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Label2 = named(new QLabel(QStringLiteral("pic"), this), "Label2");
    Label2->hide();
    Label3 = named(new QLabel(QStringLiteral("Picture size:"), this), "Label3");
    Label5 = named(new QLabel(QStringLiteral("0 x 0"), this), "Label5");
    Label8 = named(new QLabel(QStringLiteral("Pixels"), this), "Label8");
    Label6 = named(new QLabel(QStringLiteral("Label6"), this), "Label6");
    Label7 = named(new QLabel(QStringLiteral("Current:"), this), "Label7");
    Label4 = named(new QLabel(this), "Label4");
    Label4->hide();
    infofile = named(new QLabel(this), "infofile");
    infofile->hide();
}

void MainWindow::buildStatusBar() {
    StatusBar1 = named(new StatusBar(this), "StatusBar1");
    StatusBar1->addPanel({QStringLiteral("filetype"), QStringLiteral("Click to change file type"),
                          QString(), StatusBar::Bevel::Inset, false, 90});
    StatusBar1->addPanel({QStringLiteral("file"), QStringLiteral("Click to view file information"),
                          QString(), StatusBar::Bevel::Inset, true, 200});
    StatusBar1->addPanel({QStringLiteral("copydes"), QStringLiteral("Click to view DIR Browser"),
                          QString(), StatusBar::Bevel::Inset, false, 220});
    StatusBar1->addPanel(
        {QString(), QStringLiteral("Zoom info"), QString(), StatusBar::Bevel::Inset, false, 70});
}

void MainWindow::connectParts() {
    connect(Drive1, &DriveList::changed, this, &MainWindow::Drive1_Change);
    connect(Dir1, &DirList::changed, this, &MainWindow::Dir1_Change);
    // Connected before any DIR browser: it finds the main window's lists already moved.
    connect(&volumes_, &VolumeWatch::changed, this, &MainWindow::volumesChanged);
    connect(StatusBar1, &StatusBar::panelClicked, this, &MainWindow::StatusBar1_PanelClick);
    connect(mnupattern, &QAction::triggered, this, &MainWindow::mnupattern_Click);
    connect(mnuhelp, &QAction::triggered, this, &MainWindow::mnuhelp_Click);
    File1->viewport()->installEventFilter(this);
    Image1->installEventFilter(this);
    AM1->installEventFilter(this);
    Dir1->viewport()->installEventFilter(this);
}

void MainWindow::buildMenus() {
    mnufile = named(new QMenu(QStringLiteral("File"), this), "mnufile");
    mnurename = entry(mnufile, "mnurename", QStringLiteral("&Rename"));
    mnudelete = entry(mnufile, "mnudelete", QStringLiteral("&Delete"));
    separator(mnufile, "spacer");
    saveas = entry(mnufile, "saveas", QStringLiteral("&Save As..."));
    separator(mnufile, "spacer2");
    oleeditopen = entry(mnufile, "oleeditopen", QStringLiteral("&OLE Edit/Open"));
    newwindow = entry(mnufile, "newwindow", QStringLiteral("&Load in separate &window"));
    separator(mnufile, "spacer3");
    textfile = entry(mnufile, "textfile", QStringLiteral("Open text &editor"));
    separator(mnufile, "spacer4");
    mnupattern = entry(mnufile, "mnupattern", QStringLiteral("&Change search pattern"));
    separator(mnufile, "spacer5");
    options = entry(mnufile, "options", QStringLiteral("Options..."));

    mnuset = named(new QMenu(QStringLiteral("Settings"), this), "mnuset");
    mnurenamedir = entry(mnuset, "mnurenamedir", QStringLiteral("Rename"));
    separator(mnuset, "spaaace");
    mnusession = entry(mnuset, "mnusession", QStringLiteral("&Use as Copy DIR (this session)"));
    mnudefault = entry(mnuset, "mnudefault", QStringLiteral("Set as &Default Copy DIR"));
    mnustartup = entry(mnuset, "mnustartup", QStringLiteral("Set as &Startup DIR"));
    mnusub = entry(mnuset, "mnusub", QStringLiteral("&Create Sub DIR"));
    separator(mnuset, "space1");
    mnuinfolist = entry(mnuset, "mnuinfolist", QStringLiteral("Create Info List"));
    separator(mnuset, "space3");
    mnuhelp = entry(mnuset, "mnuhelp", QStringLiteral("Help"));
}

void MainWindow::buildLayout() {
    // Left: the browser. Right: the viewer with the picture size below it.
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
    browser->setMinimumWidth(220);

    auto* viewer = new QWidget(this);
    auto* right = new QVBoxLayout(viewer);
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(viewerArea, 1);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(Label3);
    sizeRow->addWidget(Label5);
    sizeRow->addWidget(Label8);
    sizeRow->addStretch();
    right->addLayout(sizeRow);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("browserSplitter"));
    split->addWidget(browser);
    split->addWidget(viewer);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    split->setSizes({260, 740});

    auto* commands = new QHBoxLayout;
    commands->addWidget(Frame1);
    commands->addSpacing(8);
    commands->addWidget(Command2);
    commands->addWidget(Command7);
    commands->addSpacing(8);
    commands->addWidget(Command6);
    commands->addWidget(Command3);
    commands->addSpacing(8);
    commands->addWidget(Command4);
    commands->addWidget(Command5);
    commands->addWidget(Text2);
    commands->addWidget(Label9);
    commands->addStretch();

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(4, 4, 4, 0);
    top->setSpacing(4);
    top->addWidget(split, 1);
    top->addLayout(commands);
    top->addWidget(Text3);
    top->addWidget(Label1);
    top->addWidget(StatusBar1);
    resize(1000, 700);
}

void MainWindow::Drive1_Change() {
    try {
        const Volume* v = Drive1->selectedVolume();
        if (!v || !v->ready)
            throw Error::fromErrno(ENOMEDIUM);
        // A drive opens at the directory it was left at, as long as that still exists.
        QString target = v->rootPath;
        const auto it = driveDirs_.find(v->rootPath);
        if (it != driveDirs_.end() && QFileInfo(it->second).isDir())
            target = it->second;
        try {
            Dir1->setPath(target);
        } catch (...) {
            if (target == v->rootPath)
                throw;
            Dir1->setPath(v->rootPath);
        }
    } catch (...) {
        // No medium or not readable: back to the drive of the directory shown, silently.
        ignoreErrors([this] { Drive1->follow(Dir1->path()); });
    }
}

void MainWindow::Dir1_Change() {
    ignoreErrors([this] {
        Drive1->follow(Dir1->path());
        if (const Volume* v = volumeOf(Drive1->volumes(), Dir1->path()))
            driveDirs_[v->rootPath] = Dir1->path();
    });
    ignoreErrors([this] { File1->setPath(Dir1->path(), Dir1->lastRead()); });
    ignoreErrors([this] { updateFileCount(); });
    ignoreErrors([this] { Label7->setText(QStringLiteral("Current: ")); });
}

void MainWindow::volumesChanged() {
    const std::vector<Volume> before = Drive1->volumes();
    const std::vector<Volume>& after = volumes_.volumes();
    ignoreErrors([&] { Drive1->setVolumes(after); });
    std::erase_if(driveDirs_,
                  [&](const auto& d) { return onRemovedVolume(d.first, before, after); });
    // What stood on a card that was taken out goes where start-up goes when the stored directory
    // cannot be used: the user's home. Nothing is stored, and no message is shown.
    if (onRemovedVolume(Dir1->path(), before, after) ||
        onRemovedVolume(File1->path(), before, after)) {
        for (const QString& fallback : {StartupSequence::recoveryDir(), QDir::rootPath()}) {
            bool moved = false;
            ignoreErrors([&] {
                Dir1->setPath(fallback);
                moved = true;
            });
            if (moved)
                break;
        }
    }
    if (onRemovedVolume(Text3->text(), before, after)) {
        ignoreErrors([this] {
            Text3->setText(StartupSequence::recoveryDir());
            StatusBar1->setText(3, QStringLiteral("  ") + Text3->text());
        });
    }
    ignoreErrors([this] { Drive1->follow(Dir1->path()); });
}

void MainWindow::updateFileCount() {
    Label6->setText(QString::number(File1->count()) + QStringLiteral(" File(s)"));
}

QSize MainWindow::fittedSize(const QRect& available) {
    return QSize(qMin(1200, available.width() - 16), qMin(860, available.height() - 40));
}

void MainWindow::fitToScreen(const QRect& available) {
    if (available.isEmpty())
        return;
    resize(fittedSize(available).expandedTo(minimumSizeHint()).boundedTo(available.size()));
    move(available.topLeft() +
         QPoint((available.width() - width()) / 2, (available.height() - height()) / 2));
}

QString MainWindow::currentFilePath() const {
    return joinPath(File1->path(), File1->fileName());
}

void MainWindow::File1_MouseDown(Qt::MouseButton button, const QPoint& position) {
    ignoreErrors([&] {
        const QString name = File1->fileName();
        newwindow->setEnabled(name.right(3).toLower() != QLatin1String("viv"));
    });
    ignoreErrors([&] { textfile->setEnabled(secondary_.documentType().isEmpty()); });
    if (button == Qt::RightButton)
        ignoreErrors([&] { mnufile->popup(File1->viewport()->mapToGlobal(position)); });
}

void MainWindow::Dir1_MouseDown(Qt::MouseButton button, const QPoint& position) {
    if (button == Qt::RightButton)
        ignoreErrors([&] { mnuset->popup(Dir1->viewport()->mapToGlobal(position)); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Image1 || watched == AM1) &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show ||
         event->type() == QEvent::Hide)) {
        // The canvas holds what is shown, so the scroll range follows the picture or movie.
        QSize size(0, 0);
        for (QWidget* w : {static_cast<QWidget*>(Image1), static_cast<QWidget*>(AM1)}) {
            if (!w->isHidden())
                size = size.expandedTo(w->size());
        }
        viewerCanvas_->resize(size);
    }
    if (event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint pos = me->position().toPoint();
        if (watched == File1->viewport()) {
            File1_MouseDown(me->button(), pos);
            // A right click opens the menu on the selected file; it does not select.
            return me->button() == Qt::RightButton;
        }
        if (watched == Dir1->viewport()) {
            Dir1_MouseDown(me->button(), pos);
            return me->button() == Qt::RightButton;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mnupattern_Click() {
    InputBoxSpec prompt;
    prompt.title = QStringLiteral("Manual pattern change");
    prompt.prompt =
        QStringLiteral("Enter desired pattern\n\nExample: '*.jpg' or '*.jpg;*.bmp;*.gif'");
    prompt.position = File1->mapToGlobal(QPoint(0, 0));
    prompt.owner = this;
    QString answer;
    if (!withFailureHandler([&] { answer = s_.dialogs.input(prompt).value_or(QString()); },
                            [](const Error&) {}))
        return;
    if (answer.isEmpty())
        return;
    withFailureHandler(
        [&] {
            File1->setPattern(answer);
            StatusBar1->setText(1, File1->pattern());
            updateFileCount();
            Label7->setText(QStringLiteral("Current: "));
        },
        [&](const Error&) {
            reportFailure(s_, QStringLiteral("File search pattern ERROR"),
                          QStringLiteral("Entered pattern is not acceptable enter like this: "
                                         "\n\n'*.jpg' or '*.jpg;*.bmp;*.gif'"),
                          this);
        });
}

void MainWindow::mnuhelp_Click() {
    ignoreErrors([this] { s_.help.showTopic(s_.paths.helpFile(), 14); });
}

void MainWindow::StatusBar1_PanelClick(int, const QString& key) {
    if (key == QLatin1String("filetype")) {
        ignoreErrors([this] {
            FileTypeWindow window(*this, this);
            window.exec();
        });
        return;
    }
    emit panelClicked(key);
}

// What the file-type mode changes in the main window.
struct ModeTexts {
    const char* frame;
    const char* options[4];
    const char* panel1;
    const char* panel4Tip;
    const char* kind;
    const QString& patternKey;
    const QString& defaultPattern;
};

void MainWindow::applyMode(const ModeTexts& m) {
    Frame1->setTitle(QString::fromLatin1(m.frame));
    QRadioButton* options[] = {Option1, Option2, Option3, Option4};
    for (int i = 0; i < 4; ++i)
        options[i]->setText(QString::fromLatin1(m.options[i]));
    StatusBar1->setToolTip(4, QString::fromLatin1(m.panel4Tip));
    ignoreErrors([&] {
        const QString pattern = s_.settings.read(m.patternKey);
        File1->setPattern(pattern.isEmpty() ? m.defaultPattern : pattern);
    });
    StatusBar1->setText(1, QString::fromLatin1(m.panel1));
    Label2->setText(QString::fromLatin1(m.kind));
}

void MainWindow::setPictureMode() {
    applyMode({"Zoom",
               {"1:4", "1:2", "1:1", "2:1"},
               " Pictures ",
               "Zoom info",
               "pic",
               keys::PicPattern,
               defaults::PicPattern});
}

void MainWindow::setAnimationMode() {
    applyMode({"Movie speed",
               {".25", ".50", "1.0", "2.0"},
               " Animations ",
               "Movie speed info",
               "avi",
               keys::AniPattern,
               defaults::AniPattern});
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

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        runClosingSequence(
            s_, [this] { secondary_.closeAll(); }, Text2->text());
    }
    event->accept();
    emit closed();
}

} // namespace lumorra
