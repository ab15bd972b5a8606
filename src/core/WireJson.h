#pragma once
// What the parts of the wire codec share inside libcore: writing values into a JSON text and
// reading them from a parsed document (Wire.cpp), on which the JSON-RPC envelopes are written
// and read (WireEnvelopes.cpp). RapidJSON stays within libcore: this header is for its own
// sources only, and what it declares is hidden from the library's users.

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QtGlobal>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstddef>
#include <cstring>
#include <memory>

namespace Wire::Json {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;
using JValue = rapidjson::Value;

// Throws the EWireError that says `what` was wrong.
[[noreturn]] Q_DECL_HIDDEN void fail(const QString& what);

// A text, a value in the protocol's form (Wire.h) and the finished text of a writer's buffer.
// `depth` is the value's nesting, which the codec bounds.
Q_DECL_HIDDEN void writeString(JsonWriter& w, const QString& s);
Q_DECL_HIDDEN void writeValue(JsonWriter& w, const QVariant& v, int depth);
Q_DECL_HIDDEN QByteArray finish(const rapidjson::StringBuffer& buffer);

// A JSON string as a QString, and a JSON value read as the protocol's value.
Q_DECL_HIDDEN QString jsonString(const JValue& v);
Q_DECL_HIDDEN QVariant decodeValue(const JValue& v, int depth);

// A document parsed in place, on a private copy of the bytes: strings are then read where they
// lie. The copy ends with zero bytes: the terminating zero the parser needs, and seven more for
// the readers of texts (TextBytes), which may read a few bytes past the end of a text.
class Q_DECL_HIDDEN Parsed {
public:
    explicit Parsed(const QByteArray& json) : m_bytes(new char[size_t(json.size()) + Padding])
    {
        std::memcpy(m_bytes.get(), json.constData(), size_t(json.size()));
        std::memset(m_bytes.get() + json.size(), 0, Padding);
    }

    rapidjson::Document& doc() { return m_doc; }
    char* bytes() { return m_bytes.get(); }

private:
    static constexpr size_t Padding = 8;

    std::unique_ptr<char[]> m_bytes;
    rapidjson::Document m_doc;
};

// Parses `json`; a text that is no JSON fails naming `what` it was ("O pedido", ...).
Q_DECL_HIDDEN std::unique_ptr<Parsed> parse(const QByteArray& json, const char* what);

} // namespace Wire::Json
