#include "tests/nls_files/LanguageFileReader.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <set>

namespace {

// The profile functions accept up to 2047 characters of a value.
constexpr qsizetype MaxValueLength = 2047;

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

QString dropQuotes(const QString& value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

}  // namespace

QString LanguageFile::value(const QString& section, int key) const
{
    const auto found = sections.find(section.toLower());
    if (found == sections.end())
        return {};
    const QString wanted = QString::number(key);
    for (const Entry& entry : found->second) {
        if (entry.key == wanted)
            return entry.value;
    }
    return {};
}

std::vector<int> LanguageFile::keys(const QString& section) const
{
    std::vector<int> result;
    const auto found = sections.find(section.toLower());
    if (found == sections.end())
        return result;
    for (const Entry& entry : found->second) {
        bool ok = false;
        const int number = entry.key.toInt(&ok);
        if (ok)
            result.push_back(number);
    }
    return result;
}

LanguageFile LanguageFile::read(const QString& path)
{
    LanguageFile file;
    QFile input(path);
    if (!input.open(QIODevice::ReadOnly)) {
        file.errors << QStringLiteral("cannot open %1: %2").arg(path, input.errorString());
        return file;
    }
    const QByteArray bytes = input.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        file.errors << QStringLiteral("starts with a byte-order mark; the first section would not be found");

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        file.errors << QStringLiteral("is not valid UTF-8");

    // Keys are written exactly as the integer-to-text conversion gives them.
    static const QRegularExpression decimalKey(QStringLiteral("^(0|[1-9][0-9]*)$"));

    std::set<QString> seenSections;
    std::set<QString> seenKeys;
    std::vector<Entry>* current = nullptr;
    const QStringList lines = text.split(u'\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        QString line = lines[index];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString where = QStringLiteral("line %1").arg(index + 1);
        line = trimBlanks(line);
        if (line.isEmpty())
            continue;

        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']')) {
                file.errors << where + QStringLiteral(": unterminated section name");
                current = nullptr;
                continue;
            }
            const QString name = trimBlanks(line.mid(1, line.size() - 2)).toLower();
            if (!seenSections.insert(name).second)
                file.errors << where + QStringLiteral(": section [%1] appears again").arg(name);
            current = &file.sections[name];
            seenKeys.clear();
            continue;
        }

        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) {
            file.errors << where + QStringLiteral(": neither a section nor key=value: ") + line;
            continue;
        }
        if (current == nullptr) {
            file.errors << where + QStringLiteral(": key outside any section");
            continue;
        }
        Entry entry;
        entry.key = trimBlanks(line.left(equals));
        entry.value = dropQuotes(trimBlanks(line.mid(equals + 1)));
        if (!decimalKey.match(entry.key).hasMatch())
            file.errors << where + QStringLiteral(": key '%1' is not a plain decimal number").arg(entry.key);
        if (!seenKeys.insert(entry.key.toLower()).second)
            file.errors << where + QStringLiteral(": key %1 appears again in its section").arg(entry.key);
        if (entry.value.size() > MaxValueLength)
            file.errors << where + QStringLiteral(": value longer than %1 characters").arg(MaxValueLength);
        current->push_back(entry);
    }
    return file;
}
