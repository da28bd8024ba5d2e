#include "InfoListGenerator.h"

#include "InfoListProgressWindow.h"
#include "browser/MainWindow.h"
#include "core/Logs.h"
#include "core/Services.h"
#include "picture/PictureLoader.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/KeepOnTop.h"
#include "platform/Keys.h"
#include "platform/Screen.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"
#include "ui/PictureArea.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>

namespace lumorra {
namespace {

const QString Separator = QStringLiteral("    ");
// The estimates are fixed rates: seconds per file with and without picture sizes.
constexpr int SecondsWithSizes = 3;
constexpr double SecondsWithoutSizes = 0.036;
// The estimate with sizes is a 16-bit product, and so is the file count.
constexpr int Int16Max = 32767;

// A decimal number as the program writes one: up to 15 significant digits, no trailing
// zeros, the locale's decimal separator and no group separators.
QString decimalText(double value, const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(value, 'g', 15);
}

} // namespace

InfoListGenerator::InfoListGenerator(MainWindow& window, Services& services)
    : QObject(&window), w_(window), s_(services) {
    connect(w_.mnuinfolist, &QAction::triggered, this, &InfoListGenerator::mnuinfolist_Click);
}

InfoListGenerator::~InfoListGenerator() {
    delete progress_.data();
}

InfoListProgressWindow* InfoListGenerator::progressWindow() const {
    return progress_.data();
}

void InfoListGenerator::mnuinfolist_Click() {
    withFailureHandler([&] { run(); }, [&](const Error& e) { failure(e); });
    runEditor_ = nullptr;
    document_.clear();
    pending_ = false;
}

void InfoListGenerator::run() {
    // The main window takes no input until the list is done.
    w_.setEnabled(false);

    if (setSeparateWindowsState)
        setSeparateWindowsState(Qt::WindowMinimized);
    InfoListEditor* ed = editor ? editor() : nullptr;
    if (!ed || !ed->window())
        throw Error::program(errc::Internal);
    ed->window()->setWindowState(Qt::WindowMinimized);

    FileList* list = w_.File2;
    list->setPath(w_.File1->path());
    list->setPattern(w_.File1->pattern());

    // Created after the main window was disabled, so that it is not disabled with it.
    if (!progress_)
        progress_ = new InfoListProgressWindow(&w_);
    const int n = list->count();
    if (n > Int16Max)
        throw Error::program(errc::Overflow);
    // An empty bar has no valid maximum: an empty list ends here.
    if (n <= 0)
        throw Error::program(errc::InvalidProperty);
    progress_->Bar1->setRange(0, n);
    progress_->Bar1->setValue(0);

    list->setListIndex(-1);

    if (n > Int16Max / SecondsWithSizes)
        throw Error::program(errc::Overflow);
    const QString slow = QString::number(n * SecondsWithSizes);
    const QString fast = decimalText(n * SecondsWithoutSizes, locale);

    const bool withSizes = askWithSizes(slow, fast);

    progress_->showAndPaint();
    progress_->setWindowTitle(
        QStringLiteral("Please wait, Retrieving information (This will take approx. ") +
        (withSizes ? slow : fast) + QStringLiteral(" sec.)"));

    // The lines are gathered here and go into the editor's document in one piece when the
    // loop ends or fails, after what the document holds: adding to a growing document line by
    // line would take far longer than reading the files.
    runEditor_ = ed;
    document_ = QStringLiteral("Info for ") + list->path() + QStringLiteral("  (") +
                list->pattern() + QStringLiteral(")\n\n");
    pending_ = true;

    const qint64 total = listFiles(*list, n, withSizes);
    pending_ = false;
    ed->appendText(document_);

    const QString totalText = QStringLiteral("\nTotal ") + QString::number(n) +
                              QStringLiteral(" File(s) (") + numberText(total, locale) +
                              QStringLiteral(" Bytes)\n\n\n");
    finish(ed, totalText);
}

bool InfoListGenerator::askWithSizes(const QString& slow, const QString& fast) {
    const QString panel = w_.StatusBar1->text(1);
    if ((panel == QLatin1String(" Pictures ") || panel == QLatin1String(" Animations ")) &&
        w_.Label2->text() == QLatin1String("pic")) {
        MessageBoxSpec question;
        question.text =
            QStringLiteral("Do you wish to include picture size's in the information\n\n"
                           "This will take approx. ") +
            slow + QStringLiteral(" sec.\n Else it will take approx. ") + fast +
            QStringLiteral(" sec.");
        question.title = QStringLiteral("Include picture size?");
        question.buttons = Buttons::YesNo;
        question.icon = Icon::Question;
        question.defaultButton = Answer::No;
        question.owner = &w_;
        return s_.dialogs.message(question) == Answer::Yes;
    }
    return false;
}

qint64 InfoListGenerator::listFiles(FileList& list, int n, bool withSizes) {
    qint64 total = 0;
    for (int k = 0; k < n; ++k) {
        list.setListIndex(k);
        const QString path = joinPath(list.path(), list.fileName());
        w_.infofile->setText(path);
        QSize pixels;
        if (withSizes) {
            // The size comes from the file's header; a file that is no picture fails here.
            pixels = pictureSize(s_.decoders, path);
            w_.Image2->resize(pixels);
        }
        const qint64 size = fileLength(path);
        total += size;
        const QString modified = generalDateText(fileModified(path), locale);
        QString line =
            list.fileName() + Separator + numberText(size, locale) + QStringLiteral(" bytes");
        if (withSizes)
            line += Separator + QString::number(pixels.width()) + QStringLiteral(" x ") +
                    QString::number(pixels.height()) + QStringLiteral(" Pixels");
        line += Separator + QLatin1Char('(') + modified + QStringLiteral(")\n");
        document_ += line;
        progress_->step();
    }
    return total;
}

void InfoListGenerator::finish(InfoListEditor* ed, const QString& totalText) {
    // Every step from here on is skipped when it fails.
    QWidget* editorWindow = ed->window();
    ignoreErrors([&] {
        if (setSeparateWindowsState)
            setSeparateWindowsState(Qt::WindowNoState);
    });
    ignoreErrors([&] { editorWindow->setWindowState(Qt::WindowNoState); });
    closeProgressWindow();
    ignoreErrors(
        [&] { ed->setDocumentState(QString(), QStringLiteral("1"), QStringLiteral("rtf")); });
    ignoreErrors([&] { ed->setPanelText(1, QStringLiteral("  New")); });
    ignoreErrors([&] { ed->setPanelText(2, QStringLiteral("  Ready")); });
    ignoreErrors([&] { ed->setPanelText(3, QStringLiteral("  Changed")); });
    ignoreErrors([&] { ed->setPanelText(4, QStringLiteral("  RTF")); });
    ignoreErrors([&] {
        // Near the lower right corner of the screen: 700 twips above its bottom edge and 100
        // twips left of its right edge.
        const double tx = s_.screen.twipsPerPixelX();
        const double ty = s_.screen.twipsPerPixelY();
        const QRect frame = editorWindow->frameGeometry();
        const double top = s_.screen.heightTwips() - frame.height() * ty - 700;
        const double left = s_.screen.widthTwips() - frame.width() * tx - 100;
        editorWindow->move(qRound(left / tx), qRound(top / ty));
    });
    ignoreErrors([&] {
        if (s_.settings.read(keys::OnTop) == QLatin1String("1"))
            setKeepOnTop(editorWindow, true);
    });
    ignoreErrors([&] { ed->appendText(totalText); });
    ignoreErrors([&] {
        editorWindow->show();
        editorWindow->raise();
        editorWindow->activateWindow();
    });
    ignoreErrors([&] { w_.Image1->show(); });
    w_.setEnabled(true);
}

void InfoListGenerator::closeProgressWindow() {
    ignoreErrors([&] {
        if (progress_)
            progress_->close();
    });
    delete progress_.data();
}

void InfoListGenerator::failure(const Error& e) {
    // What the run wrote so far stays in the document, which is not shown.
    ignoreErrors([&] {
        if (pending_ && runEditor_)
            runEditor_->appendText(document_);
    });
    // The progress window would go on asking the user to wait for a list that never comes.
    closeProgressWindow();
    if (e.description.isEmpty()) {
        reportFailure(s_, QStringLiteral("Unknown List creation ERROR"),
                      QStringLiteral("Unable to create file list. Please check that the path is "
                                     "valid."),
                      &w_);
    } else if (w_.File2->count() == 0) {
        reportFailure(s_, QStringLiteral("File list creation ERROR"),
                      QStringLiteral("Unable to create file list. The selected directory does not "
                                     "contain any files."),
                      &w_);
    } else {
        reportFailure(s_,
                      errorRecordText(e, QStringLiteral("List creation"),
                                      QStringLiteral("File list creation")),
                      QStringLiteral("Unable to create file list."), &w_);
    }
    ignoreErrors([&] { w_.Image1->show(); });
    w_.setEnabled(true);
}

} // namespace lumorra
