#pragma once

#include "platform/Error.h"

#include <QFile>
#include <QString>

#include <functional>

namespace lumorra {

// Status lines of the run log are 56 characters: the label, full stops up to column 53, a
// space and "OK".
QString runLogStatusLine(const QString& label);

// The run log: a trace of the start-up steps, rewritten at every start. Lines end with CR LF.
class RunLog {
public:
    // Replaces an earlier run log by a new file and writes the header and an empty line.
    // Throws Error when the file cannot be replaced, created or written.
    void open(const QString& path);
    // Writes the text as it is, plus CR LF.
    void line(const QString& text);
    // Writes the 56-character status line of a step label.
    void status(const QString& label) { line(runLogStatusLine(label)); }
    void close();
    bool isOpen() const { return file_.isOpen(); }

private:
    QFile file_;
};

// The program log: dated records appended across runs.
class ProgramLog {
public:
    // The record line of a text: "<" + short date + ", " + short time + "> " + text.
    using Clock = std::function<QString()>;

    // Opens (creating when missing) for appending. Throws Error on failure.
    void open(const QString& path);
    // Appends a record; quoted records are enclosed in double quotes, an empty quoted text gives
    // an empty line. Writes after close() are dropped.
    void record(const QString& text, bool quoted = true);
    // Writes a line as it is; quoted lines are enclosed in double quotes, except an empty one.
    void writeLine(const QString& text, bool quoted);
    void emptyLine();
    void close();
    bool isOpen() const { return file_.isOpen(); }

    // The date part "<date, time> " of a record; replaceable for tests.
    void setStamp(Clock stamp) { stamp_ = std::move(stamp); }
    QString stamp() const;

private:
    void write(const QByteArray& line);
    QFile file_;
    Clock stamp_;
};

// The three record shapes of an error: "Unknown " + area + " ERROR" when the error has no
// description, else prefix + " ERROR " + number + " (" + description + ")". The area and the
// prefix differ in letter case in places ("Unknown File Copy ERROR", "File copy ERROR 2 (...)"),
// so both are given.
QString errorRecordText(const Error& e, const QString& unknownArea, const QString& numberedArea);

} // namespace lumorra
