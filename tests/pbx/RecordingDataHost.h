#pragma once
#include "agent/pbx/DataHost.h"

#include <QString>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A host for the data model that keeps what it is told: the published line
// names (the 4 bytes the line interface copies), the line-state records, the
// cache flushes and the log, and serves language texts from a small table.
class RecordingDataHost : public varno::TDataHost {
public:
    QString GetText(int number) const override
    {
        const auto it = Texts.find(number);
        return it == Texts.end() ? QString() : it->second;
    }
    void LogLine(const QString& tag, const QString& text) override { Log.emplace_back(tag, text); }
    void CacheFlush() override { ++CacheFlushes; }
    bool QlinOn() const override { return Qlin; }
    void QlinLine(int index, const char* name) override { Lines.emplace_back(index, std::string(name, 4)); }
    void QlinPutStates(const varno::TStates& record) override { PutStates.push_back(record); }
    varno::TStates& QlinState() override { return State; }
    const varno::TStates& QlinCommand() const override { return Command; }

    std::map<int, QString> Texts;
    bool Qlin = true;
    int CacheFlushes = 0;
    std::vector<std::pair<int, std::string>> Lines;
    std::vector<varno::TStates> PutStates;
    std::vector<std::pair<QString, QString>> Log;
    varno::TStates State{};
    varno::TStates Command{};
};
