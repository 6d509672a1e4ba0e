#include "platform/profile/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

namespace varno {
namespace {

// "[name] anything" gives name; other lines give an empty result.
bool sectionName(const QString& line, QString* name)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const int close = t.indexOf(QLatin1Char(']'));
    *name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
    return true;
}

// "key=value": false for comments, blank lines and lines without '='.
bool keyValue(const QString& line, QString* key, QString* value)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')))
        return false;
    const int eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    *key = t.left(eq).trimmed();
    if (key->isEmpty())
        return false;
    if (value) {
        QString v = t.mid(eq + 1).trimmed();
        if (v.size() >= 2) {
            const QChar q = v.front();
            if ((q == QLatin1Char('"') || q == QLatin1Char('\'')) && v.back() == q)
                v = v.mid(1, v.size() - 2);
        }
        if (v.size() > TIniFile::MaxValueLength)
            v.truncate(TIniFile::MaxValueLength);
        *value = v;
    }
    return true;
}

bool same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

}  // namespace

TIniFile::TIniFile(QString path) : path_(std::move(path))
{
    QString eol;
    readLines(path_, &lines_, &eol, &exists_);
}

bool TIniFile::readLines(const QString& path, QStringList* lines, QString* eol, bool* exists)
{
    lines->clear();
    *eol = QStringLiteral("\n");
    QFile f(path);
    *exists = f.exists();
    if (!*exists)
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (text.contains(QLatin1String("\r\n")))
        *eol = QStringLiteral("\r\n");
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    *lines = text.split(QLatin1Char('\n'));
    // A final line break leaves one empty entry behind; the file's last line is the one before it.
    if (!lines->isEmpty() && lines->back().isEmpty())
        lines->removeLast();
    return true;
}

TIniFile::Located TIniFile::locate(const QStringList& lines, const QString& section, const QString& key)
{
    Located at;
    QString name, k;
    int lastEntry = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (sectionName(lines[i], &name)) {
            if (at.sectionLine >= 0)
                break;  // end of the first matching section
            if (same(name, section)) {
                at.sectionLine = i;
                lastEntry = i;
            }
            continue;
        }
        if (at.sectionLine < 0)
            continue;
        if (!lines[i].trimmed().isEmpty())
            lastEntry = i;
        if (at.keyLine < 0 && keyValue(lines[i], &k, nullptr) && same(k, key))
            at.keyLine = i;
    }
    if (at.sectionLine >= 0)
        at.insertAt = lastEntry + 1;
    return at;
}

bool TIniFile::find(const QString& section, const QString& key, QString* value) const
{
    const Located at = locate(lines_, section, key);
    if (at.keyLine < 0)
        return false;
    QString k;
    keyValue(lines_[at.keyLine], &k, value);
    return true;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    QString value;
    return find(section, key, &value) ? value : def;
}

std::optional<int> TIniFile::ParseInteger(const QString& text)
{
    const QString t = text.trimmed();
    bool ok = false;
    QString digits;
    if (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X")))
        digits = t.mid(2);
    else if (t.startsWith(QLatin1Char('$')))
        digits = t.mid(1);
    else {
        const int v = t.toInt(&ok, 10);
        return ok ? std::optional<int>(v) : std::nullopt;
    }
    // Hexadecimal values are 32-bit patterns: $FFFFFFFF is -1.
    if (digits.isEmpty() || digits.size() > 8 || digits.startsWith(QLatin1Char('-')) ||
        digits.startsWith(QLatin1Char('+')))
        return std::nullopt;
    const uint v = digits.toUInt(&ok, 16);
    return ok ? std::optional<int>(static_cast<int>(v)) : std::nullopt;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    QString value;
    return find(section, key, &value) ? ParseInteger(value).value_or(def) : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

QList<QPair<QString, QString>> TIniFile::ReadSection(const QString& section) const
{
    QList<QPair<QString, QString>> out;
    QSet<QString> seen;
    bool inside = false, found = false;
    QString name, k, v;
    for (const QString& line : lines_) {
        if (sectionName(line, &name)) {
            if (found)
                break;
            inside = same(name, section);
            found = inside;
            continue;
        }
        if (!inside || !keyValue(line, &k, &v))
            continue;
        const QString folded = k.toLower();
        if (seen.contains(folded))
            continue;
        seen.insert(folded);
        out.append({k, v});
    }
    return out;
}

bool TIniFile::WriteProfileString(const QString& path, const QString& section, const QString& key, const QString& value,
                                  QString* error)
{
    QStringList lines;
    QString eol;
    bool exists = false;
    if (!readLines(path, &lines, &eol, &exists)) {
        if (error)
            *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    const QString entry = key + QLatin1Char('=') + value;
    const Located at = locate(lines, section, key);
    if (at.keyLine >= 0)
        lines[at.keyLine] = entry;
    else if (at.sectionLine >= 0)
        lines.insert(at.insertAt, entry);
    else {
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(entry);
    }
    // Written beside the old file and renamed over it, so that a failure half
    // way never leaves a truncated settings file.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error)
            *error = out.errorString();
        return false;
    }
    out.write((lines.join(eol) + eol).toUtf8());
    if (!out.commit()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    return true;
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value, QString* error)
{
    if (!WriteProfileString(path_, section, key, value, error))
        return false;
    QString eol;
    readLines(path_, &lines_, &eol, &exists_);
    return true;
}

}  // namespace varno
