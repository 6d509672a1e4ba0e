#pragma once
#include "agent/core/AgentContext.h"
#include "agent/pbx/Data.h"

#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A data model in real surroundings (an event log, the configuration, the
// texts of a language file of the test's own) that keeps what the model
// reports upward: the published line names (the 4 bytes the line interface
// copies), the line-state records, the cache flushes and the log.
class DataWorld {
public:
    DataWorld()
    {
        config.QLIN = true;
        SetTexts({});
        QObject::connect(&log, &varno::TEventLog::logged,
                         [this](const QString& tag, const QString& text) { Log.emplace_back(tag, text); });
        QObject::connect(&Data, &varno::TData::blockChanged, [this]() { ++CacheFlushes; });
        QObject::connect(&Data, &varno::TData::lineNamed,
                         [this](int index, const char* name) { Lines.emplace_back(index, std::string(name, 4)); });
        QObject::connect(&Data, &varno::TData::lineStateChanged,
                         [this](const varno::TStates& record) { PutStates.push_back(record); });
    }

    // The language texts, written to the language file and loaded from it.
    void SetTexts(const std::map<int, QString>& texts)
    {
        texts_ = texts;
        QFile file(dir_.filePath("Language.Eng"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("language file not written");
        file.write("[Texty]\n");
        for (const auto& [number, text] : texts_)
            file.write(QByteArray::number(number) + "=" + text.toUtf8() + "\n");
        file.close();
        nls_.SetLanguage("Eng");
        nls_.LoadTexts();
        nls_.CloseLanguageFile();
    }
    void SetText(int number, const QString& text)
    {
        std::map<int, QString> texts = texts_;
        texts[number] = text;
        SetTexts(texts);
    }

private:
    QTemporaryDir dir_;
    std::map<int, QString> texts_;
    varno::TNLS nls_{dir_.path()};

public:
    varno::TEventLog log;
    varno::TConfig config;
    varno::TAgentContext context{log, nls_, config};
    varno::TData Data{context};

    bool& Qlin = config.QLIN;
    varno::TStates& State = Data.QlinState;
    varno::TStates& Command = Data.QlinCommand;
    int CacheFlushes = 0;
    std::vector<std::pair<int, std::string>> Lines;
    std::vector<varno::TStates> PutStates;
    std::vector<std::pair<QString, QString>> Log;
};
