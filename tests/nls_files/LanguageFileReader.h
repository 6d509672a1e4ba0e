#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

// Reads a language file the way the Windows profile functions present it to
// the agent: "[section]" lines, "key=value" lines, section and key names
// compared without case, blanks around a value dropped and then one pair of
// matching quotes around it. Deliberately independent of the agent's own
// profile code, so that the files are checked against the format itself.
//
// Stricter than the profile functions: anything they would silently skip or
// resolve by taking the first occurrence (a byte-order mark, bad UTF-8, a line
// that is neither a section nor a key, a key outside any section, a repeated
// section or key, a key that is not a plain decimal number) is reported in
// `errors`, because in a language file it is always a mistake.
struct LanguageFile {
    struct Entry {
        QString key;
        QString value;  // as the agent receives it
    };

    // Lower-case section name -> entries in file order.
    std::map<QString, std::vector<Entry>> sections;
    QStringList errors;

    // The value of `key` in `section`, or a null QString when there is none.
    QString value(const QString& section, int key) const;
    // The keys of `section` as numbers; non-numeric keys are left out.
    std::vector<int> keys(const QString& section) const;

    static LanguageFile read(const QString& path);
};
