#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace varno::test {

// Real Maildirs for the mail gateway: folders with cur/, new/ and tmp/, and
// messages as files in them, named as a delivery agent names them.
struct Maildirs {
    static void Make(const QString& maildir)
    {
        for (const char* sub : {"cur", "new", "tmp"})
            QDir().mkpath(maildir + QLatin1Char('/') + QLatin1String(sub));
    }
    // A message under new/ (info empty) or cur/ (info "S", "T", "" ...).
    // folder: "" for the Maildir itself, else ".Name".
    static QString Deliver(const QString& maildir, const QString& folder, const QString& unique,
                           const char* info = nullptr)
    {
        const QString base = folder.isEmpty() ? maildir : maildir + QLatin1Char('/') + folder;
        Make(base);
        const QString path = info
                                 ? base + QStringLiteral("/cur/") + unique + QStringLiteral(":2,") + QLatin1String(info)
                                 : base + QStringLiteral("/new/") + unique;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("From: someone@example.net\nSubject: test\n\nhello\n");
        return path;
    }
    // Every file in a folder's new/, for delivered messages.
    static QStringList NewFiles(const QString& maildir)
    {
        return QDir(maildir + QStringLiteral("/new")).entryList(QDir::Files, QDir::Name);
    }
    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A sendmail stand-in: appends its arguments and then the message it
    // reads to a file, one "----" line between messages.
    static QString WriteSendmail(const QString& dir, const QString& outbox)
    {
        const QString path = dir + QStringLiteral("/sendmail");
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) {
            f.write("#!/bin/sh\n{ echo \"ARGS $*\"; cat; echo ----; } >> '" + outbox.toUtf8() + "'\n");
            f.close();
        }
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
};

}  // namespace varno::test
