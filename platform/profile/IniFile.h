#pragma once
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace varno {

// A profile (INI) file with the semantics the agent's files were written for:
// section and key names compare without regard to case, a value loses its
// surrounding blanks and one pair of surrounding quotes, values are cut at
// 2047 characters, the first occurrence of a section or key wins, and a
// write changes one key and keeps every other line of the file as it was.
//
// Reads work on the contents taken when the object was made (the agent reads
// its settings once); a write goes to the file at once.
class TIniFile {
public:
    static constexpr int MaxValueLength = 2047;

    explicit TIniFile(QString path);

    const QString& Path() const { return path_; }
    bool Exists() const { return exists_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, or hexadecimal after "0x", "0X" or "$"; missing or unparsable gives def.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // An integer read as above: 0 is off, any other number on.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    // Every key of the section in file order with its value; a key that occurs
    // twice is listed once, with its first value.
    QList<QPair<QString, QString>> ReadSection(const QString& section) const;

    // Writes one key into the file on disk (creating it when missing) and
    // into the contents held here. Returns false with a reason on failure.
    bool WriteString(const QString& section, const QString& key, const QString& value, QString* error = nullptr);

    // The one-key write on a file named by path, without keeping the contents.
    static bool WriteProfileString(const QString& path, const QString& section, const QString& key,
                                   const QString& value, QString* error = nullptr);

    static std::optional<int> ParseInteger(const QString& text);

private:
    struct Located {
        int sectionLine = -1;  // index of the "[section]" line, -1 when absent
        int keyLine = -1;      // index of the key's line, -1 when absent
        int insertAt = -1;     // where a new key of this section goes
    };
    // The key's value; false when the section or key is missing.
    bool find(const QString& section, const QString& key, QString* value) const;
    static Located locate(const QStringList& lines, const QString& section, const QString& key);
    static bool readLines(const QString& path, QStringList* lines, QString* eol, bool* exists);

    QString path_;
    QStringList lines_;
    bool exists_ = false;
};

}  // namespace varno
