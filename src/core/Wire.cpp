#include "Wire.h"

#include "Errors.h"
#include "StoredDates.h"
#include "Variants.h"
#include "WireJson.h"

#include <QDate>
#include <QDateTime>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QTimeZone>
#include <QtEndian>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

QVariant FailResult(const QString& text) { return QVariant::fromValue(TFailResult{text}); }
bool VarIsFail(const QVariant& v) { return v.metaType() == QMetaType::fromType<TFailResult>(); }

namespace Wire {

using namespace Json;

namespace {

constexpr int MaxDepth = 64;

// ---- encoding ---------------------------------------------------------------------------

void twoDigits(char* out, int value)
{
    out[0] = char('0' + value / 10);
    out[1] = char('0' + value % 10);
}

// "YYYY-MM-DD" of a Julian day into `out` (10 characters); false for a year outside 0 to 9999.
bool civilDate(qint64 julianDay, char* out)
{
    // Days to the proleptic Gregorian calendar (H. Hinnant's civil_from_days).
    qint64 z = julianDay - 2440588 + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    const qint64 y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    if (y < 0 || y > 9999)
        return false;
    twoDigits(out, int(y / 100));
    twoDigits(out + 2, int(y % 100));
    out[4] = '-';
    twoDigits(out + 5, m);
    out[7] = '-';
    twoDigits(out + 8, d);
    return true;
}

void writeDate(JsonWriter& w, qint64 julianDay)
{
    char text[10];
    if (civilDate(julianDay, text))
        w.String(text, 10);
    else
        writeString(w, QDate::fromJulianDay(julianDay).toString(Qt::ISODate));
}

void writeDateTime(JsonWriter& w, qint64 ms)
{
    const qint64 days = ms >= 0 ? ms / MsPerDay : -((-ms + MsPerDay - 1) / MsPerDay);
    const qint64 inDay = (ms - days * MsPerDay) / 1000;
    char text[19];
    if (!civilDate(days + UnixEpochJulianDay, text)) {
        writeString(w, QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
        return;
    }
    const int h = int(inDay / 3600), mi = int(inDay / 60 % 60), sec = int(inDay % 60);
    text[10] = 'T';
    twoDigits(text + 11, h);
    text[13] = ':';
    twoDigits(text + 14, mi);
    text[16] = ':';
    twoDigits(text + 17, sec);
    w.String(text, 19);
}

void writeDouble(JsonWriter& w, double d)
{
    if (!std::isfinite(d))
        fail(QStringLiteral("O número %1 não pode ser enviado (só números finitos).").arg(d));
    w.Double(d);
}

void writeCell(JsonWriter& w, TFieldType type, const Cell& c)
{
    if (CellIsNull(c)) {
        w.Null();
        return;
    }
    switch (type) {
    case TFieldType::String:
    case TFieldType::FixedString: writeString(w, std::get<QString>(c)); break;
    case TFieldType::Integer: w.Int64(std::get<qint64>(c)); break;
    case TFieldType::Float: writeDouble(w, std::get<double>(c)); break;
    case TFieldType::Boolean: w.Bool(std::get<bool>(c)); break;
    case TFieldType::Date: writeDate(w, std::get<qint64>(c)); break;
    case TFieldType::DateTime: writeDateTime(w, std::get<qint64>(c)); break;
    case TFieldType::Blob: {
        const QByteArray b64 = std::get<QByteArray>(c).toBase64();
        w.String(b64.constData(), rapidjson::SizeType(b64.size()));
        break;
    }
    }
}

void writePacket(JsonWriter& w, const TDataPacket& p)
{
    w.StartObject();
    w.Key("$packet");
    w.StartObject();
    w.Key("fields");
    w.StartArray();
    for (const auto& f : p.fields()) {
        w.StartObject();
        w.Key("name");
        writeString(w, f.name);
        w.Key("type");
        writeString(w, FieldTypeName(f.type));
        w.Key("size");
        w.Int(f.size);
        w.EndObject();
    }
    w.EndArray();
    w.Key("rows");
    w.StartArray();
    const auto& fields = p.fields();
    for (const auto& row : p.rows()) {
        w.StartArray();
        for (int i = 0; i < fields.size(); ++i)
            writeCell(w, fields[i].type, row[size_t(i)]);
        w.EndArray();
    }
    w.EndArray();
    if (!p.states().empty()) {
        w.Key("states");
        w.StartArray();
        for (auto s : p.states())
            w.String(s == TRowState::Inserted ? "inserted" : s == TRowState::Modified ? "modified" : "unchanged");
        w.EndArray();
    }
    w.EndObject();
    w.EndObject();
}

// ---- decoding ---------------------------------------------------------------------------

QString jsonKind(const JValue& v)
{
    switch (v.GetType()) {
    case rapidjson::kNullType: return QStringLiteral("null");
    case rapidjson::kFalseType:
    case rapidjson::kTrueType: return QStringLiteral("um booleano");
    case rapidjson::kObjectType: return QStringLiteral("um objeto");
    case rapidjson::kArrayType: return QStringLiteral("uma lista");
    case rapidjson::kStringType: return QStringLiteral("um texto");
    case rapidjson::kNumberType: return v.IsDouble() ? QStringLiteral("um número fracionário") : QStringLiteral("um inteiro");
    }
    return {};
}

// The texts of a packet are read eight bytes at a time, where the parser left them: a read may
// go a few bytes past the end of a text, never past the parsed copy of the JSON, which ends with
// zero bytes for it (Parsed), and what lies past the text is masked off.
quint64 eightBytes(const char* p) { return qFromLittleEndian<quint64>(p); }   // the first byte lowest

// The first n bytes at p (all eight when n is 8 or more), the others zero.
quint64 leadingBytes(const char* p, size_t n)
{
    return n >= 8 ? eightBytes(p) : eightBytes(p) & ((quint64(1) << (8 * n)) - 1);
}

// A text of a packet as the parser left it, with its first eight bytes at hand.
struct TextBytes {
    const char* bytes;
    size_t size;
    quint64 head;   // leadingBytes(bytes, size)

    TextBytes(const char* b, size_t n) : bytes(b), size(n), head(b ? leadingBytes(b, n) : 0) {}

    bool operator==(const TextBytes& o) const
    {
        if (size != o.size || head != o.head)
            return false;
        for (size_t i = 8; i < size; i += 8)
            if (leadingBytes(bytes + i, size - i) != leadingBytes(o.bytes + i, size - i))
                return false;
        return true;
    }

    quint64 hash() const
    {
        quint64 h = (head ^ (size * 0x9e3779b97f4a7c15ULL)) * 0xbf58476d1ce4e5b9ULL;
        for (size_t i = 8; i < size; i += 8)
            h = ((h ^ (h >> 31)) ^ leadingBytes(bytes + i, size - i)) * 0x94d049bb133111ebULL;
        return h ^ (h >> 29);
    }
};

// Texts that recur within answers (a branch, a quote's number, a product's name and unit) are
// kept for the life of the process, once each, and the cells that repeat them hold QStrings over
// that lasting copy (QString::fromRawData, as a string literal is held). Such a QString is
// copied and dropped without touching a reference count, which a packet of thousands of rows
// would otherwise do thousands of times, each time with a locked instruction, when it is decoded,
// loaded into a dataset and released. The store only grows, up to MaxUnits characters in all;
// past that, texts are shared within their column only (ColumnTexts).
class LastingTexts {
public:
    // A QString over the lasting copy of text; a null QString when the store is full.
    static QString find(QStringView text)
    {
        static LastingTexts* const store = new LastingTexts;   // never destroyed: cells outlive everything
        return store->lasting(text);
    }

private:
    static constexpr qsizetype MaxUnits = qsizetype(1) << 20;   // 2 MB of text
    static constexpr qsizetype BlockUnits = qsizetype(1) << 15;

    QString lasting(QStringView text)
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_texts.constFind(text);
        if (it == m_texts.cend()) {
            if (m_units + text.size() > MaxUnits || text.size() > BlockUnits)
                return {};
            if (m_blocks.empty() || m_used + text.size() > BlockUnits) {
                m_blocks.push_back(std::make_unique<char16_t[]>(size_t(BlockUnits)));
                m_used = 0;
            }
            char16_t* copy = m_blocks.back().get() + m_used;
            std::copy(text.utf16(), text.utf16() + text.size(), copy);
            m_used += text.size();
            m_units += text.size();
            it = m_texts.insert(QStringView(copy, text.size()));
        }
        return QString::fromRawData(reinterpret_cast<const QChar*>(it->utf16()), it->size());
    }

    QMutex m_mutex;
    QSet<QStringView> m_texts;                          // views of the blocks
    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    qsizetype m_used = 0;                               // of the last block
    qsizetype m_units = 0;                              // in all
};

// The texts of one string column of a packet, shared between the rows that repeat them. Keys and
// names come back row after row (the branch, the quote's number, a product's name and unit);
// a text met again costs no allocation and no conversion: it is the QString of its first time,
// made over its lasting copy (LastingTexts). A column whose first texts repeat nothing (an
// item's number) is not looked up any more, and the table is bounded: past its size, new texts
// are not kept.
class ColumnTexts {
public:
    QString text(const char* bytes, size_t size)
    {
        const TextBytes key(bytes, size);
        // The commonest case: the same text as the row before, found without hashing.
        if (m_last && m_last->key == key) {
            ++m_hits;
            return repeated(*m_last);
        }
        if (m_off || size > MaxSize)
            return decoded(key);
        if (m_slots.empty())
            m_slots.resize(FirstSlots);
        if (++m_lookups == Trial && m_hits == 0) {
            m_off = true;
            m_last = nullptr;
            m_slots = {};
            return decoded(key);
        }
        const size_t mask = m_slots.size() - 1;
        for (size_t i = size_t(key.hash()) & mask, probe = 0; probe < Probes; i = (i + 1) & mask, ++probe) {
            Slot& slot = m_slots[i];
            if (!slot.used())
                return keep(slot, key);
            if (slot.key == key) {
                ++m_hits;
                m_last = &slot;
                return repeated(slot);
            }
        }
        return decoded(key);   // a crowded neighbourhood: not kept
    }

private:
    static constexpr size_t MaxSize = 256;     // longer texts are seldom repeated
    static constexpr size_t Trial = 128;       // texts looked up before a column that repeated none is left alone
    static constexpr size_t FirstSlots = 16;
    static constexpr size_t MaxSlots = 4096;
    static constexpr size_t Probes = 8;

    struct Slot {
        TextBytes key{nullptr, 0};   // no bytes: a free slot
        QString text;
        bool lasting = false;        // text is over the lasting copy, or will not be
        bool used() const { return key.bytes != nullptr; }
    };

    // The text of a slot met again: from now on, its lasting copy.
    static const QString& repeated(Slot& slot)
    {
        if (!slot.lasting) {
            slot.lasting = true;
            if (!slot.text.isEmpty())
                if (QString text = LastingTexts::find(slot.text); !text.isNull())
                    slot.text = std::move(text);
        }
        return slot.text;
    }

    static QString decoded(const TextBytes& key) { return QString::fromUtf8(key.bytes, qsizetype(key.size)); }

    QString keep(Slot& slot, const TextBytes& key)
    {
        QString text = decoded(key);
        if (m_used == m_slots.size() / 4 * 3)
            return text;   // full
        slot = Slot{key, text};
        m_last = &slot;
        if (++m_used == m_slots.size() / 4 * 3 && m_slots.size() < MaxSlots)
            grow();
        return text;
    }

    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (Slot& slot : old) {
            if (!slot.used())
                continue;
            size_t i = size_t(slot.key.hash()) & mask;
            while (m_slots[i].used())
                i = (i + 1) & mask;
            m_slots[i] = std::move(slot);
        }
        m_last = nullptr;
    }

    std::vector<Slot> m_slots;   // a power of two of them, at most three quarters used
    size_t m_used = 0;
    Slot* m_last = nullptr;   // the text given last
    size_t m_lookups = 0;
    size_t m_hits = 0;
    bool m_off = false;
};

// Reads the rows of a packet into cells, checking each value against its field.
struct PacketReader {
    const QList<TPacketField>& fields;
    std::vector<TFieldType> types;    // the fields' types, at hand
    std::vector<ColumnTexts> texts;   // one per field; used by the string fields only
    qsizetype row = 0;

    explicit PacketReader(const QList<TPacketField>& f) : fields(f), texts(size_t(f.size()))
    {
        types.reserve(size_t(f.size()));
        for (const auto& field : f)
            types.push_back(field.type);
    }

    [[noreturn]] void wrongType(int col, const JValue& v, const char* expected) const
    {
        fail(QStringLiteral("Pacote de dados, linha %1, campo %2 (%3): esperava %4 e recebeu %5.")
                 .arg(row + 1)
                 .arg(fields[col].name, FieldTypeName(fields[col].type), QString::fromUtf8(expected), jsonKind(v)));
    }

    // The values of one row (as many as the fields), appended to cells.
    void read(const JValue* values, CellRow& cells)
    {
        for (int col = 0; col < int(types.size()); ++col)
            append(cells, col, values[col]);
        ++row;
    }

    void append(CellRow& cells, int col, const JValue& v)
    {
        if (v.IsNull()) {
            cells.emplace_back();
            return;
        }
        switch (types[size_t(col)]) {
        case TFieldType::String:
        case TFieldType::FixedString:
            if (!v.IsString())
                wrongType(col, v, "um texto");
            cells.emplace_back(std::in_place_type<QString>, texts[size_t(col)].text(v.GetString(), v.GetStringLength()));
            return;
        case TFieldType::Integer:
            if (!v.IsInt64())
                wrongType(col, v, "um inteiro");
            cells.emplace_back(std::in_place_type<qint64>, v.GetInt64());
            return;
        case TFieldType::Float:
            if (!v.IsNumber())
                wrongType(col, v, "um número");
            cells.emplace_back(std::in_place_type<double>, v.GetDouble());
            return;
        case TFieldType::Boolean:
            if (!v.IsBool())
                wrongType(col, v, "um booleano");
            cells.emplace_back(std::in_place_type<bool>, v.GetBool());
            return;
        case TFieldType::Date: {
            if (!v.IsString())
                wrongType(col, v, "uma data AAAA-MM-DD");
            const auto day = ParseStoredDate(v.GetString(), v.GetStringLength());
            if (!day || v.GetStringLength() != 10)
                wrongType(col, v, "uma data AAAA-MM-DD");
            cells.emplace_back(std::in_place_type<qint64>, *day);
            return;
        }
        case TFieldType::DateTime: {
            if (!v.IsString())
                wrongType(col, v, "uma data e hora AAAA-MM-DDThh:mm:ss");
            const auto ms = ParseStoredDateTime(v.GetString(), v.GetStringLength());
            if (!ms)
                wrongType(col, v, "uma data e hora AAAA-MM-DDThh:mm:ss");
            cells.emplace_back(std::in_place_type<qint64>, *ms);
            return;
        }
        case TFieldType::Blob: {
            if (!v.IsString())
                wrongType(col, v, "um texto em base64");
            auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromRawData(v.GetString(), qsizetype(v.GetStringLength())),
                                                          QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                wrongType(col, v, "um texto em base64");
            cells.emplace_back(std::in_place_type<QByteArray>, std::move(decoded.decoded));
            return;
        }
        }
        cells.emplace_back();
    }
};

TDataPacket decodePacket(const JValue& p)
{
    if (!p.IsObject())
        fail(QStringLiteral("\"$packet\" deve ser um objeto com \"fields\" e \"rows\"."));
    const auto fieldsIt = p.FindMember("fields");
    const auto rowsIt = p.FindMember("rows");
    if (fieldsIt == p.MemberEnd() || !fieldsIt->value.IsArray())
        fail(QStringLiteral("Pacote de dados sem a lista \"fields\"."));
    if (rowsIt == p.MemberEnd() || !rowsIt->value.IsArray())
        fail(QStringLiteral("Pacote de dados sem a lista \"rows\"."));

    QList<TPacketField> fields;
    fields.reserve(fieldsIt->value.Size());
    for (const auto& f : fieldsIt->value.GetArray()) {
        const qsizetype n = fields.size() + 1;
        if (!f.IsObject())
            fail(QStringLiteral("Pacote de dados: o campo %1 deve ser um objeto.").arg(n));
        const auto name = f.FindMember("name");
        const auto type = f.FindMember("type");
        const auto size = f.FindMember("size");
        if (name == f.MemberEnd() || !name->value.IsString() || name->value.GetStringLength() == 0)
            fail(QStringLiteral("Pacote de dados: o campo %1 não tem nome.").arg(n));
        TPacketField field;
        field.name = jsonString(name->value);
        if (type == f.MemberEnd() || !type->value.IsString())
            fail(QStringLiteral("Pacote de dados: o campo %1 não tem tipo.").arg(field.name));
        const auto t = FieldTypeFromName(jsonString(type->value));
        if (!t)
            fail(QStringLiteral("Pacote de dados: o campo %1 tem o tipo desconhecido \"%2\".").arg(field.name, jsonString(type->value)));
        field.type = *t;
        if (size != f.MemberEnd()) {
            if (!size->value.IsInt64() || size->value.GetInt64() < 0 || size->value.GetInt64() > MaxFieldSize)
                fail(QStringLiteral("Pacote de dados: o campo %1 declara um tamanho inválido (de 0 a %2).").arg(field.name).arg(MaxFieldSize));
            field.size = int(size->value.GetInt64());
        }
        fields.append(field);
    }

    const auto& rowsJson = rowsIt->value;
    std::vector<CellRow> rows;
    rows.reserve(rowsJson.Size());
    PacketReader reader(fields);
    const int width = int(fields.size());
    for (const auto& r : rowsJson.GetArray()) {
        if (!r.IsArray() || int(r.Size()) != width)
            fail(QStringLiteral("Pacote de dados: a linha %1 tem %2 valor(es), mas o pacote tem %3 campo(s).")
                     .arg(reader.row + 1)
                     .arg(r.IsArray() ? int(r.Size()) : 0)
                     .arg(width));
        CellRow& row = rows.emplace_back();
        row.reserve(size_t(width));
        reader.read(r.Begin(), row);
    }

    std::vector<TRowState> states;
    const auto statesIt = p.FindMember("states");
    if (statesIt != p.MemberEnd()) {
        if (!statesIt->value.IsArray() || statesIt->value.Size() != rowsJson.Size())
            fail(QStringLiteral("Pacote de dados: \"states\" deve ter um estado por linha."));
        bool any = false;
        for (const auto& s : statesIt->value.GetArray()) {
            const QString text = s.IsString() ? jsonString(s) : QString();
            if (text == QLatin1String("modified"))
                states.push_back(TRowState::Modified);
            else if (text == QLatin1String("inserted"))
                states.push_back(TRowState::Inserted);
            else if (text == QLatin1String("unchanged") || s.IsNull())
                states.push_back(TRowState::Unchanged);
            else
                fail(QStringLiteral("Pacote de dados: estado de linha desconhecido \"%1\".").arg(text));
            any = any || states.back() != TRowState::Unchanged;
        }
        if (!any)
            states.clear();
    }
    return TDataPacket(std::move(fields), std::move(rows), std::move(states));
}

QVariant decodeTagged(const JValue& o)
{
    if (o.MemberCount() != 1)
        fail(QStringLiteral("Objeto sem marca conhecida: só $date, $datetime, $unassigned, $packet e $fail são valores."));
    const auto& m = *o.MemberBegin();
    const QString tag = jsonString(m.name);
    const JValue& v = m.value;
    if (tag == QLatin1String("$date")) {
        const auto day = v.IsString() && v.GetStringLength() == 10 ? ParseStoredDate(v.GetString(), 10) : std::nullopt;
        if (!day)
            fail(QStringLiteral("$date deve ser um texto AAAA-MM-DD válido."));
        return QDate::fromJulianDay(*day);
    }
    if (tag == QLatin1String("$datetime")) {
        const auto ms = v.IsString() ? ParseStoredDateTime(v.GetString(), v.GetStringLength()) : std::nullopt;
        if (!ms)
            fail(QStringLiteral("$datetime deve ser um texto AAAA-MM-DDThh:mm:ss válido."));
        return QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC);
    }
    if (tag == QLatin1String("$unassigned"))
        return Unassigned();
    if (tag == QLatin1String("$packet"))
        return QVariant::fromValue(decodePacket(v));
    if (tag == QLatin1String("$fail")) {
        if (!v.IsString())
            fail(QStringLiteral("$fail deve trazer o texto da falha."));
        return FailResult(jsonString(v));
    }
    fail(QStringLiteral("Marca desconhecida \"%1\".").arg(tag));
}

// The parser's events into the document, but numbers read from their own text with
// std::from_chars, correctly rounded: the parser's full-precision path misreads a zero with an
// exponent ("0E58" became 8.1e31, "0.0E400" an error).
struct NumbersFromText {
    rapidjson::Document& d;
    bool Null() { return d.Null(); }
    bool Bool(bool b) { return d.Bool(b); }
    bool Int(int i) { return d.Int(i); }
    bool Uint(unsigned u) { return d.Uint(u); }
    bool Int64(int64_t i) { return d.Int64(i); }
    bool Uint64(uint64_t u) { return d.Uint64(u); }
    bool Double(double x) { return d.Double(x); }
    bool String(const char* s, rapidjson::SizeType n, bool copy) { return d.String(s, n, copy); }
    bool StartObject() { return d.StartObject(); }
    bool Key(const char* s, rapidjson::SizeType n, bool copy) { return d.Key(s, n, copy); }
    bool EndObject(rapidjson::SizeType members) { return d.EndObject(members); }
    bool StartArray() { return d.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) { return d.EndArray(elements); }

    bool RawNumber(const char* text, rapidjson::SizeType length, bool)
    {
        const char* end = text + length;
        if (std::find_if(text, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) == end) {
            int64_t i = 0;
            if (const auto r = std::from_chars(text, end, i); r.ec == std::errc() && r.ptr == end)
                return d.Int64(i);
            uint64_t u = 0;
            if (const auto r = std::from_chars(text, end, u); r.ec == std::errc() && r.ptr == end)
                return d.Uint64(u);
        }
        double x = 0;
        const auto r = std::from_chars(text, end, x);
        if (r.ptr != end)
            return false;
        if (r.ec == std::errc::result_out_of_range) {
            x = std::strtod(std::string(text, length).c_str(), nullptr);   // so small it is zero (or a denormal); too big is refused
            if (!std::isfinite(x))
                return false;
        } else if (r.ec != std::errc()) {
            return false;
        }
        return d.Double(x);
    }
};

} // namespace

namespace Json {

void fail(const QString& what) { throw EWireError(what); }

void writeString(JsonWriter& w, const QString& s)
{
    // Most texts are short and plain ASCII: they are written from the stack, without an
    // allocation; any other goes through UTF-8.
    char ascii[128];
    if (s.size() <= qsizetype(sizeof ascii)) {
        const QChar* text = s.constData();
        qsizetype n = 0;
        while (n < s.size() && text[n].unicode() < 0x80) {
            ascii[n] = char(text[n].unicode());
            ++n;
        }
        if (n == s.size()) {
            w.String(ascii, rapidjson::SizeType(n));
            return;
        }
    }
    const QByteArray utf8 = s.toUtf8();
    w.String(utf8.constData(), rapidjson::SizeType(utf8.size()));
}

void writeValue(JsonWriter& w, const QVariant& v, int depth)
{
    if (depth > MaxDepth)
        fail(QStringLiteral("Valor aninhado demais para ser enviado."));
    if (VarIsEmpty(v)) {
        w.StartObject();
        w.Key("$unassigned");
        w.Bool(true);
        w.EndObject();
        return;
    }
    if (VarIsNull(v)) {
        w.Null();
        return;
    }
    if (VarIsPacket(v))
        return writePacket(w, v.value<TDataPacket>());
    if (VarIsFail(v)) {
        w.StartObject();
        w.Key("$fail");
        writeString(w, v.value<TFailResult>().text);
        w.EndObject();
        return;
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool: w.Bool(v.toBool()); return;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong: w.Int64(v.toLongLong()); return;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong: w.Uint64(v.toULongLong()); return;
    case QMetaType::Double:
    case QMetaType::Float: writeDouble(w, v.toDouble()); return;
    case QMetaType::QString: writeString(w, v.toString()); return;
    case QMetaType::QChar: writeString(w, QString(v.toChar())); return;
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        if (!d.isValid())
            fail(QStringLiteral("Data inválida não pode ser enviada."));
        w.StartObject();
        w.Key("$date");
        writeString(w, d.toString(Qt::ISODate));
        w.EndObject();
        return;
    }
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (!dt.isValid())
            fail(QStringLiteral("Data e hora inválida não pode ser enviada."));
        w.StartObject();
        w.Key("$datetime");
        writeString(w, DateTimeText(dt));
        w.EndObject();
        return;
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        w.StartArray();
        for (const QVariant& e : v.toList())
            writeValue(w, e, depth + 1);
        w.EndArray();
        return;
    }
    default: break;
    }
    fail(QStringLiteral("Valor do tipo %1 não tem forma no protocolo.").arg(QString::fromLatin1(v.typeName())));
}

QByteArray finish(const rapidjson::StringBuffer& buffer)
{
    return QByteArray(buffer.GetString(), qsizetype(buffer.GetSize()));
}

QString jsonString(const JValue& v) { return QString::fromUtf8(v.GetString(), qsizetype(v.GetStringLength())); }

QVariant decodeValue(const JValue& v, int depth)
{
    if (depth > MaxDepth)
        fail(QStringLiteral("Valor aninhado demais."));
    switch (v.GetType()) {
    case rapidjson::kNullType: return Null();
    case rapidjson::kFalseType: return false;
    case rapidjson::kTrueType: return true;
    case rapidjson::kStringType: return jsonString(v);
    case rapidjson::kNumberType:
        if (v.IsInt64())
            return qlonglong(v.GetInt64());
        return v.GetDouble();
    case rapidjson::kArrayType: {
        QVariantList list;
        list.reserve(v.Size());
        for (const auto& e : v.GetArray())
            list.append(decodeValue(e, depth + 1));
        return list;
    }
    case rapidjson::kObjectType: return decodeTagged(v);
    }
    return {};
}

std::unique_ptr<Parsed> parse(const QByteArray& json, const char* what)
{
    auto parsed = std::make_unique<Parsed>(json);
    rapidjson::InsituStringStream stream(parsed->bytes());
    rapidjson::ParseResult result;
    auto fill = [&](rapidjson::Document& doc) {
        rapidjson::Reader reader;
        NumbersFromText handler{doc};
        result = reader.Parse<rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(stream, handler);
        return !result.IsError();
    };
    parsed->doc().Populate(fill);
    if (result.IsError())
        fail(QStringLiteral("%1 não é JSON válido: %2 (posição %3).")
                 .arg(QString::fromUtf8(what), QString::fromUtf8(rapidjson::GetParseError_En(result.Code())))
                 .arg(result.Offset()));
    return parsed;
}

} // namespace Json

QString DateTimeText(const QDateTime& dt)
{
    // Naive date-times: the wall-clock reading is what travels.
    return dt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QDateTime ParseDateTime(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const auto ms = ParseStoredDateTime(utf8.constData(), size_t(utf8.size()));
    return ms ? QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC) : QDateTime();
}

QByteArray Encode(const QVariant& value)
{
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    writeValue(w, value, 0);
    return finish(buffer);
}

QVariant Decode(const QByteArray& json)
{
    const auto parsed = parse(json, "O valor");
    return decodeValue(parsed->doc(), 0);
}

} // namespace Wire
