#pragma once
#include <QString>

namespace varno {

// Message and question boxes. The window shows real boxes; a headless agent
// writes the text to standard error and answers every question Yes.
class TUserPrompt {
public:
    enum class Icon { Information, Warning, Error, Question };
    virtual ~TUserPrompt() = default;
    virtual void MessageBox(const QString& text, const QString& caption, Icon icon) = 0;
    // true for Yes.
    virtual bool AskYesNo(const QString& text, const QString& caption) = 0;
};

// The headless form: one line on a stream per box.
class THeadlessPrompt : public TUserPrompt {
public:
    void MessageBox(const QString& text, const QString& caption, Icon icon) override;
    bool AskYesNo(const QString& text, const QString& caption) override;
};

}  // namespace varno
