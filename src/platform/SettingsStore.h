#pragma once

#include <QString>

#include <memory>
#include <utility>
#include <vector>

namespace lumorra {

// The per-user settings of both programs: one INI file, one group, text values.
//
// Keys are matched without regard to letter case ("startupdir" and "Startupdir" are one key).
// Nothing is cached: every read parses the file as it is on disk now, so a write by the other
// program is seen at the next read. Every write locks the file, re-reads it, changes the key
// (or keys) and replaces the file atomically, so concurrent writers lose no key and a reader never
// sees a half-written file. A write changes only the lines of its keys: comments, blank lines,
// other groups and keys the program does not know, and a byte order mark, stay as they were.
class SettingsStore {
public:
    explicit SettingsStore(QString filePath, QString group = QStringLiteral("Lumorra"));
    // Waits for a writeSoon() still under way.
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // "$XDG_CONFIG_HOME/Tovik Software/Lumorra.conf" (XDG_CONFIG_HOME defaults to ~/.config).
    static QString defaultFilePath();

    // The stored text, or the empty string when the key is absent. A file that cannot be read
    // (a directory, one without read permission) holds no key.
    QString read(const QString& key) const;
    // Stores the text, creating the key (and the file) if needed. Throws Error on failure, also
    // when the file exists but cannot be read; the file then stays as it was.
    void write(const QString& key, const QString& value);
    // Stores several keys with one replace of the file: the other program sees all of them or
    // none, and they reach the disk together. Throws Error on failure; then none is stored.
    void write(const std::vector<std::pair<QString, QString>>& values);

    // Stores the values as write() does, on a thread of its own: the caller goes on while the
    // file reaches the disk. Until then this store reads them as stored; the next write, settle()
    // and the store's end wait for it. Should the one replace fail, each key is then tried on its
    // own, and what cannot be stored is not: for values that are written again at every start.
    void writeSoon(std::vector<std::pair<QString, QString>> values);
    // Waits until what writeSoon() stores is on the disk (or has failed).
    void settle();

    const QString& filePath() const { return path_; }

private:
    struct Pending;
    QString path_;
    QString group_;
    std::unique_ptr<Pending> pending_;
};

} // namespace lumorra
