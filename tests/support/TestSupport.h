#pragma once
// Helpers of the tests: packets written as tables, and a fixture with the scripted operator
// and the fake server installed.

#include "DataPacket.h"
#include "FakeServer.h"
#include "ScriptedServices.h"

#include <QJsonObject>
#include <QVariant>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <type_traits>

// A packet from field declarations and rows of variants (converted to the field types).
TDataPacket MakePacket(const QList<TPacketField>& fields, const QList<QVariantList>& rows);
QVariant PacketVar(const QList<TPacketField>& fields, const QList<QVariantList>& rows);

QJsonObject Json(const char* text);   // a JSON object written in the test

// "a hall's address" -> "AHallsAddress": a case's words as a test name (ASCII letters and digits).
std::string CamelCase(const char* words);

// Names each case of a parameterised test, and so its ctest line: a case that is a text by the
// text, any other by its `name`.
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        if constexpr (std::is_convertible_v<Case, const char*>)
            return CamelCase(info.param);
        else
            return CamelCase(info.param.name);
    }
};

// Every test body runs with a fresh scripted operator and a fake server on loopback.
class ScriptedHostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void Script(const char* stepsJson);   // {"steps":[...]}
    void Steps(const char* stepsArray);   // [...], the steps alone
    QList<QJsonObject> Lines(const QString& kind) const { return host->Lines(kind); }
    QStringList Kinds() const;             // the kinds of the transcript lines, in order
    QString LastMessage() const;           // the text of the last message box, "" when none
    QStringList Methods() const;           // the remote methods called, in order

    FakeServer server;
    ScriptedHostServices* host = nullptr;
};

void PrintTo(const QString& s, std::ostream* os);
void PrintTo(const QVariant& v, std::ostream* os);
