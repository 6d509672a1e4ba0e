#pragma once
#include <QHash>
#include <QString>
#include <memory>

#include "platform/profile/IniFile.h"

namespace varno {

// The texts of the current language. Message texts are held in memory so
// that every log line can fetch its text without touching the file; window
// and menu texts and the block texts are read from the file on demand.
class TNLS {
public:
    // programDir: the folder that holds the program and the language files.
    explicit TNLS(QString programDir);

    const QString& Language() const { return language_; }
    QString LanguageFilePath() const;

    // Stores the code and opens its file.
    void SetLanguage(const QString& code);
    void OpenLanguageFile();
    void CloseLanguageFile();
    bool LanguageFileOpen() const { return languageFile_ != nullptr; }

    // Merges section Texty of the open file into the texts: a key with a text
    // replaces or adds its entry, a key with an empty value removes it, and an
    // entry the file lacks keeps what an earlier language gave it.
    void LoadTexts();

    // The text of a message number; empty when there is none.
    QString GetText(int number) const;

    // Section Text, read a block of a hundred at a time: number ..00 opens the
    // file, ..99 closes it.
    QString GetBlockText(int number);

    // Sections Common and Menu of the open file, for the window's translation.
    QString CommonText(int tag, const QString& current) const;
    QString MenuText(int tag, const QString& current) const;

private:
    QString programDir_;
    QHash<int, QString> texts_;
    std::unique_ptr<TIniFile> languageFile_;
    QString language_ = QStringLiteral("Cz");
};

}  // namespace varno
