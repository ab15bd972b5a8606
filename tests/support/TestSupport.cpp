#include "TestSupport.h"

#include "ClientDataSet.h"
#include "HostServices.h"
#include "Wire.h"

#include <QJsonDocument>

TDataPacket MakePacket(const QList<TPacketField>& fields, const QList<QVariantList>& rows)
{
    // The dataset's own conversions turn the table's values into cells, texts uncut.
    std::vector<CellRow> cells;
    for (const auto& row : rows) {
        CellRow r;
        for (int i = 0; i < fields.size(); ++i)
            r.push_back(ValueToCell({fields[i].name, fields[i].type, 0}, row.value(i)));
        cells.push_back(std::move(r));
    }
    return TDataPacket(fields, std::move(cells));
}

QVariant PacketVar(const QList<TPacketField>& fields, const QList<QVariantList>& rows)
{
    return QVariant::fromValue(MakePacket(fields, rows));
}

QJsonObject Json(const char* text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text), &error);
    if (error.error != QJsonParseError::NoError)
        ADD_FAILURE() << "JSON do teste inválido: " << error.errorString().toStdString() << " em " << text;
    return doc.object();
}

void ScriptedHostTest::SetUp()
{
    host = static_cast<ScriptedHostServices*>(&InstallHostServices(std::make_unique<ScriptedHostServices>()));
    server.UseInSession();
    Session().operador = QStringLiteral("OPER1");
    Session().filiProc = QStringLiteral("0001");
    Session().callTimeoutMs = 5000;
}

void ScriptedHostTest::TearDown() { UninstallHostServices(); }

void ScriptedHostTest::Script(const char* stepsJson)
{
    host->SetSteps(ScriptedHostServices::ParseScript(QByteArray(stepsJson)).value(QLatin1String("steps")).toArray());
}

void ScriptedHostTest::Steps(const char* stepsArray)
{
    Script(QByteArray("{\"steps\":") + stepsArray + '}');
}

QStringList ScriptedHostTest::Kinds() const
{
    QStringList kinds;
    for (const auto& l : host->Transcript())
        kinds << l.value(QLatin1String("kind")).toString();
    return kinds;
}

QString ScriptedHostTest::LastMessage() const
{
    const QList<QJsonObject> messages = Lines(QStringLiteral("message"));
    return messages.isEmpty() ? QString() : messages.last().value(QLatin1String("text")).toString();
}

QStringList ScriptedHostTest::Methods() const
{
    QStringList methods;
    for (const auto& c : server.Calls())
        methods << c.method;
    return methods;
}

std::string CamelCase(const char* words)
{
    std::string name;
    bool wordStart = true;
    for (const char* p = words; *p; ++p) {
        const char c = *p;
        if (c == '\'')
            continue;   // "hall's": one word
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9')) {
            wordStart = true;
            continue;
        }
        name += wordStart && c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        wordStart = false;
    }
    return name;
}

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
void PrintTo(const QVariant& v, std::ostream* os)
{
    try {
        *os << Wire::Encode(v).toStdString();
    } catch (...) {
        *os << v.typeName();
    }
}
