#include "agent/nls/Nls.h"

#include <QDir>
#include <QFileInfo>

namespace varno {

TNLS::TNLS(QString programDir) : programDir_(std::move(programDir)) {}

QString TNLS::LanguageFilePath() const
{
    const QDir dir(programDir_);
    const QString name = QStringLiteral("Language.") + language_;
    QString exact = dir.filePath(name);
    if (QFileInfo::exists(exact))
        return exact;
    // The language code is taken as configured; a code in other letter case
    // still finds its file, as it would on a case-blind file system.
    const QStringList all = dir.entryList({QStringLiteral("Language.*")}, QDir::Files);
    for (const QString& candidate : all)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(candidate);
    return exact;
}

void TNLS::SetLanguage(const QString& code)
{
    language_ = code;
    OpenLanguageFile();
}

void TNLS::OpenLanguageFile()
{
    // A missing file is no error: every read then gives its default.
    languageFile_ = std::make_unique<TIniFile>(LanguageFilePath());
}

void TNLS::CloseLanguageFile() { languageFile_.reset(); }

void TNLS::LoadTexts()
{
    if (!languageFile_)
        return;
    const auto entries = languageFile_->ReadSection(QStringLiteral("Texty"));
    for (const auto& [key, value] : entries) {
        bool ok = false;
        const int number = key.toInt(&ok, 10);
        // Keys are numbers as the number-to-text conversion writes them: "0100" is no key of 100.
        if (!ok || QString::number(number) != key)
            continue;
        if (value.isEmpty())
            texts_.remove(number);
        else
            texts_.insert(number, value);
    }
}

QString TNLS::GetText(int number) const { return texts_.value(number); }

QString TNLS::GetBlockText(int number)
{
    if (number % 100 == 0)
        OpenLanguageFile();
    QString text;
    if (languageFile_)
        text = languageFile_->ReadString(QStringLiteral("Text"), QString::number(number), QString());
    if (number % 100 == 99)
        CloseLanguageFile();
    return text;
}

QString TNLS::CommonText(int tag, const QString& current) const
{
    return languageFile_ ? languageFile_->ReadString(QStringLiteral("Common"), QString::number(tag), current) : current;
}

QString TNLS::MenuText(int tag, const QString& current) const
{
    return languageFile_ ? languageFile_->ReadString(QStringLiteral("Menu"), QString::number(tag), current) : current;
}

}  // namespace varno
