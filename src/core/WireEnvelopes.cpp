#include "WireEnvelopes.h"

#include "DataPacket.h"
#include "WireJson.h"

#include <QMap>
#include <QString>

#include <algorithm>

namespace Wire {

using namespace Json;

namespace {

void writeId(JsonWriter& w, const RequestId& id)
{
    w.Key("id");
    if (const auto* number = std::get_if<qint64>(&id))
        w.Int64(*number);
    else
        writeString(w, std::get<QString>(id));
}

// The envelope's id: a whole number or a text; anything else (absent, null, fractional) reads as 0.
RequestId readId(const JValue& envelope)
{
    const auto id = envelope.FindMember("id");
    if (id == envelope.MemberEnd())
        return qint64(0);
    if (id->value.IsString())
        return jsonString(id->value);
    return id->value.IsInt64() ? id->value.GetInt64() : qint64(0);
}

// Whether a text can be kept as it is by any store: no NUL character (PostgreSQL's texts cannot
// hold one) and no half of a surrogate pair (no UTF-8 for it).
bool Storable(const QString& text) { return !text.contains(QChar(0)) && text.isValidUtf16(); }

bool Storable(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString: return Storable(value.toString());
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        return std::all_of(list.begin(), list.end(), [](const QVariant& v) { return Storable(v); });
    }
    default: break;
    }
    if (VarIsPacket(value)) {
        const TDataPacket packet = value.value<TDataPacket>();
        for (const CellRow& row : packet.rows())
            for (const Cell& cell : row)
                if (const QString* text = std::get_if<QString>(&cell); text && !Storable(*text))
                    return false;
        for (const TPacketField& field : packet.fields())
            if (!Storable(field.name))
                return false;
    }
    return true;
}

} // namespace

QString IdText(const RequestId& id)
{
    if (const auto* number = std::get_if<qint64>(&id))
        return QString::number(*number);
    return QLatin1Char('"') + std::get<QString>(id) + QLatin1Char('"');
}

QByteArray EncodeRequest(const Request& request)
{
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("jsonrpc");
    w.String("2.0");
    writeId(w, request.id);
    w.Key("method");
    writeString(w, request.method);
    w.Key("params");
    w.StartArray();
    for (const QVariant& p : request.params)
        writeValue(w, p, 1);
    w.EndArray();
    w.EndObject();
    return finish(buffer);
}

Request DecodeRequest(const QByteArray& body)
{
    const auto parsed = parse(body, "O pedido");
    const auto& doc = parsed->doc();
    if (!doc.IsObject())
        fail(QStringLiteral("O pedido deve ser um objeto JSON-RPC."));
    Request r;
    r.id = readId(doc);
    const auto method = doc.FindMember("method");
    if (method == doc.MemberEnd() || !method->value.IsString())
        fail(QStringLiteral("O pedido não diz o método."));
    r.method = jsonString(method->value);
    const auto params = doc.FindMember("params");
    if (params != doc.MemberEnd()) {
        if (!params->value.IsArray())
            fail(QStringLiteral("Os argumentos do pedido devem ser uma lista."));
        r.params = decodeValue(params->value, 0).toList();
    }
    return r;
}

void RequireStorable(const Request& request)
{
    if (!Storable(request.method))
        fail(QStringLiteral("O nome do método traz um caractere que não pode ser guardado (U+0000 ou um substituto isolado)."));
    for (qsizetype i = 0; i < request.params.size(); ++i)
        if (!Storable(request.params[i]))
            fail(QStringLiteral("O argumento %1 traz um caractere que não pode ser guardado (U+0000 ou um substituto isolado).").arg(i + 1));
}

QByteArray EncodeResponse(const Response& response)
{
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("jsonrpc");
    w.String("2.0");
    writeId(w, response.id);
    if (response.isError) {
        w.Key("error");
        w.StartObject();
        w.Key("code");
        w.Int(response.errorCode);
        w.Key("message");
        writeString(w, response.errorMessage);
        w.EndObject();
    } else {
        w.Key("result");
        writeValue(w, response.result, 1);
        if (!response.byref.isEmpty()) {
            w.Key("byref");
            w.StartObject();
            for (auto it = response.byref.cbegin(); it != response.byref.cend(); ++it) {
                writeString(w, QString::number(it.key()));
                writeValue(w, it.value(), 1);
            }
            w.EndObject();
        }
    }
    w.EndObject();
    return finish(buffer);
}

Response DecodeResponse(const QByteArray& body)
{
    const auto parsed = parse(body, "A resposta do servidor");
    const auto& doc = parsed->doc();
    if (!doc.IsObject())
        fail(QStringLiteral("A resposta do servidor não é um objeto JSON-RPC."));
    Response r;
    r.id = readId(doc);
    const auto error = doc.FindMember("error");
    if (error != doc.MemberEnd() && !error->value.IsNull()) {
        if (!error->value.IsObject())
            fail(QStringLiteral("A resposta do servidor traz um erro malformado."));
        r.isError = true;
        const auto code = error->value.FindMember("code");
        if (code != error->value.MemberEnd() && code->value.IsInt())
            r.errorCode = code->value.GetInt();
        const auto message = error->value.FindMember("message");
        if (message == error->value.MemberEnd() || !message->value.IsString())
            fail(QStringLiteral("A resposta do servidor traz um erro sem mensagem."));
        r.errorMessage = jsonString(message->value);
        return r;
    }
    const auto result = doc.FindMember("result");
    if (result == doc.MemberEnd())
        fail(QStringLiteral("A resposta do servidor não traz \"result\" nem \"error\"."));
    r.result = decodeValue(result->value, 0);
    const auto byref = doc.FindMember("byref");
    if (byref != doc.MemberEnd()) {
        if (!byref->value.IsObject())
            fail(QStringLiteral("\"byref\" deve ser um objeto de índices e valores."));
        for (const auto& m : byref->value.GetObject()) {
            bool ok = false;
            const int index = jsonString(m.name).toInt(&ok);
            if (!ok || index < 0)
                fail(QStringLiteral("\"byref\" traz o índice inválido \"%1\".").arg(jsonString(m.name)));
            r.byref.insert(index, decodeValue(m.value, 1));
        }
    }
    return r;
}

} // namespace Wire
