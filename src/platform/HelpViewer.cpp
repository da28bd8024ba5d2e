#include "HelpViewer.h"

#include "Error.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStringList>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumorra {

// ---------------------------------------------------------------------------------------------
// The help file

namespace {

const QString TopicTag = QStringLiteral("@topic");

// A help file bigger than this is not one of ours (or is a device that never ends).
constexpr qint64 MaxHelpFileSize = 16 * 1024 * 1024;

// "@topic N Title": the number and title, or false when the line is no valid topic line.
// isTopicLine tells whether the line is meant as one (valid or not).
bool isTopicLine(const QString& line) {
    return line.startsWith(TopicTag) &&
           (line.size() == TopicTag.size() || line.at(TopicTag.size()).isSpace());
}

bool parseTopicLine(const QString& line, int& number, QString& title) {
    const QString rest = line.mid(TopicTag.size()).trimmed();
    qsizetype end = 0;
    while (end < rest.size() && rest.at(end) >= QLatin1Char('0') &&
           rest.at(end) <= QLatin1Char('9'))
        ++end;
    if (end == 0 || (end < rest.size() && !rest.at(end).isSpace()))
        return false;
    bool ok = false;
    const int n = rest.left(end).toInt(&ok);
    if (!ok || n < 0)
        return false;
    number = n;
    title = rest.mid(end).trimmed();
    return true;
}

bool isBlank(const QString& line) {
    return line.trimmed().isEmpty();
}

QString joinBody(std::vector<QString>& lines) {
    while (!lines.empty() && isBlank(lines.back()))
        lines.pop_back();
    std::size_t first = 0;
    while (first < lines.size() && isBlank(lines[first]))
        ++first;
    QStringList kept;
    for (std::size_t i = first; i < lines.size(); ++i)
        kept << lines[i];
    return kept.join(QLatin1Char('\n'));
}

} // namespace

HelpFile HelpFile::parse(const QByteArray& data) {
    HelpFile file;
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(QLatin1Char('\n'));

    // The topic being read: none before the first topic line and after a malformed one.
    bool inTopic = false;
    bool keep = false; // false for a repeated number: its lines are dropped
    int number = 0;
    QString title;
    std::vector<QString> body;
    auto finish = [&] {
        if (inTopic && keep)
            file.topics_.emplace(number, HelpTopic{title, joinBody(body)});
        inTopic = false;
        keep = false;
        body.clear();
    };

    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (isTopicLine(line)) {
            finish();
            int n = 0;
            QString t;
            if (parseTopicLine(line, n, t)) {
                inTopic = true;
                keep = !file.contains(n);
                number = n;
                title = t;
            }
            continue;
        }
        if (inTopic)
            body.push_back(line);
        // Outside a topic: "#" comments, blank lines and stray text are all skipped.
    }
    finish();
    return file;
}

HelpFile HelpFile::load(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        throw Error::fromErrno(ENOENT);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error::fromErrno(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw Error::fromErrno(errno);
    if (S_ISDIR(st.st_mode))
        throw Error::fromErrno(EISDIR);

    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw Error::fromErrno(errno);
        }
        if (got == 0)
            break;
        if (data.size() + got > MaxHelpFileSize)
            throw Error::fromErrno(EFBIG);
        data.append(buffer, got);
    }
    return parse(data);
}

const HelpTopic* HelpFile::topic(int number) const {
    auto it = topics_.find(number);
    return it == topics_.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------------------------------------
// The help window

namespace {

// One page the window can show; the history is a list of these.
struct Page {
    QString file;
    bool contents = false; // the contents page rather than a topic
    int topic = 0;
    // How the requested topic is named in the "not found" line (the number, or a broken link).
    QString label;

    bool operator==(const Page&) const = default;
};

Page topicPage(const QString& file, int topic) {
    return Page{file, false, topic, QString::number(topic)};
}
Page contentsPage(const QString& file) {
    return Page{file, true, 0, QString()};
}

QString heading(const QString& title) {
    return QStringLiteral("<h2>") + title.toHtmlEscaped() + QStringLiteral("</h2>\n");
}

QString notice(const QString& text) {
    return QStringLiteral("<p style=\"color:#8b0000;\"><b>") + text.toHtmlEscaped() +
           QStringLiteral("</b></p>\n");
}

QString topicTitle(int number, const HelpTopic& topic) {
    if (!topic.title.isEmpty())
        return topic.title;
    return number == 0 ? QStringLiteral("Contents") : QStringLiteral("Topic %1").arg(number);
}

QString contentsHtml(const HelpFile& file) {
    if (const HelpTopic* contents = file.topic(0))
        return heading(topicTitle(0, *contents)) + contents->html;
    // No contents page of its own: list every topic.
    QString html = heading(QStringLiteral("Contents"));
    if (file.topics().empty())
        return html + QStringLiteral("<p>The help file holds no help topics.</p>\n");
    html += QStringLiteral("<ul>\n");
    for (const auto& [number, topic] : file.topics())
        html += QStringLiteral("<li><a href=\"topic:%1\">%2</a></li>\n")
                    .arg(number)
                    .arg(topicTitle(number, topic).toHtmlEscaped());
    return html + QStringLiteral("</ul>\n");
}

QString pageHtml(const Page& page) {
    HelpFile file;
    try {
        file = HelpFile::load(page.file);
    } catch (...) {
        const Error e = Error::fromCurrentException();
        return heading(QStringLiteral("Lumorra Help")) +
               notice(QStringLiteral("The help file %1 could not be opened: %2")
                          .arg(page.file, e.description));
    }
    if (page.contents)
        return contentsHtml(file);
    if (const HelpTopic* topic = file.topic(page.topic))
        return heading(topicTitle(page.topic, *topic)) + topic->html;
    return notice(QStringLiteral("The help topic %1 was not found in the help file.")
                      .arg(page.label)) +
           contentsHtml(file);
}

// The number in "topic:N" (also "topic://N" and with a "#fragment"); false when there is none.
bool topicNumber(const QUrl& url, int& number, QString& label) {
    QString rest = url.toString(QUrl::RemoveScheme | QUrl::RemoveFragment);
    while (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    label = rest;
    bool ok = false;
    number = rest.toInt(&ok);
    return ok && number >= 0;
}

} // namespace

class HelpWindow : public QWidget {
public:
    HelpWindow();

    // Goes to a page (a new history entry unless it is the one shown) and brings the window up.
    void open(const Page& page);

    QTextBrowser* browser;
    QPushButton* contentsButton;
    QPushButton* backButton;
    QPushButton* forwardButton;

private:
    void navigate(const Page& page);
    void step(int delta);
    void render();
    void present();
    void linkClicked(const QUrl& url);

    std::vector<Page> history_;
    std::size_t position_ = 0; // index of the shown page in history_
};

HelpWindow::HelpWindow() {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Lumorra Help"));
    // The help window does not keep the program running after its main window closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    contentsButton = new QPushButton(QStringLiteral("&Contents"), this);
    contentsButton->setObjectName(QStringLiteral("ContentsButton"));
    backButton = new QPushButton(QStringLiteral("&Back"), this);
    backButton->setObjectName(QStringLiteral("BackButton"));
    forwardButton = new QPushButton(QStringLiteral("&Forward"), this);
    forwardButton->setObjectName(QStringLiteral("ForwardButton"));
    for (QPushButton* b : {contentsButton, backButton, forwardButton}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::TabFocus);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);

    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("HelpText"));
    // Links are followed here, so that topic: links stay inside the viewer.
    browser->setOpenLinks(false);
    browser->setOpenExternalLinks(false);
    layout->addWidget(browser, 1);

    connect(contentsButton, &QPushButton::clicked, this, [this] {
        if (!history_.empty())
            navigate(contentsPage(history_[position_].file));
    });
    connect(backButton, &QPushButton::clicked, this, [this] { step(-1); });
    connect(forwardButton, &QPushButton::clicked, this, [this] { step(+1); });
    connect(browser, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& url) { linkClicked(url); });
    auto* back = new QShortcut(QKeySequence::Back, this);
    connect(back, &QShortcut::activated, this, [this] { step(-1); });
    auto* forward = new QShortcut(QKeySequence::Forward, this);
    connect(forward, &QShortcut::activated, this, [this] { step(+1); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    resize(600, 520);
}

void HelpWindow::open(const Page& page) {
    navigate(page);
    present();
}

void HelpWindow::navigate(const Page& page) {
    if (history_.empty() || !(history_[position_] == page)) {
        if (!history_.empty())
            history_.resize(position_ + 1);
        history_.push_back(page);
        position_ = history_.size() - 1;
    }
    render();
}

void HelpWindow::step(int delta) {
    if (history_.empty())
        return;
    const auto target = static_cast<long long>(position_) + delta;
    if (target < 0 || target >= static_cast<long long>(history_.size()))
        return;
    position_ = static_cast<std::size_t>(target);
    render();
}

void HelpWindow::render() {
    const Page& page = history_[position_];
    // Pictures in a topic are found beside the help file.
    browser->setSearchPaths({QFileInfo(page.file).absolutePath()});
    browser->setHtml(pageHtml(page));
    browser->verticalScrollBar()->setValue(0);
    backButton->setEnabled(position_ > 0);
    forwardButton->setEnabled(position_ + 1 < history_.size());
}

void HelpWindow::linkClicked(const QUrl& url) {
    if (history_.empty())
        return;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("topic")) {
        int number = 0;
        QString label;
        Page page = topicPage(history_[position_].file, 0);
        if (topicNumber(url, number, label)) {
            page.topic = number;
            page.label = QString::number(number);
        } else {
            page.topic = -1;
            page.label = label;
        }
        navigate(page);
    } else if (scheme.isEmpty() && url.hasFragment() && url.path().isEmpty()) {
        browser->scrollToAnchor(url.fragment());
    } else if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
               scheme == QLatin1String("mailto")) {
        QDesktopServices::openUrl(url);
    }
}

void HelpWindow::present() {
    // Help is often asked for from a modal box (the input box's Help button). A window shown
    // while a modal box is up is blocked by it unless it belongs to the box, so the help window
    // is made the box's transient child for as long as the box lasts.
    QWidget* modal = QApplication::activeModalWidget();
    QWindow* owner = (modal && modal->window() != this) ? modal->window()->windowHandle() : nullptr;
    (void)winId(); // makes the native window, so that it can get its transient parent
    // (Qt looks at the blocked state again when the transient parent changes, also for a window
    // that is already shown.)
    if (QWindow* handle = windowHandle(); handle && handle->transientParent() != owner)
        handle->setTransientParent(owner);
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

// ---------------------------------------------------------------------------------------------
// The viewer

HelpViewer::HelpViewer() = default;
HelpViewer::~HelpViewer() = default;

HelpWindow& HelpViewer::ensureWindow() {
    if (!window_)
        window_ = std::make_unique<HelpWindow>();
    return *window_;
}

void HelpViewer::showTopic(const QString& helpFile, int topic) {
    ensureWindow().open(topic == 0 ? contentsPage(helpFile) : topicPage(helpFile, topic));
}

void HelpViewer::showContents(const QString& helpFile) {
    ensureWindow().open(contentsPage(helpFile));
}

QWidget* HelpViewer::window() const {
    return window_.get();
}

} // namespace lumorra
