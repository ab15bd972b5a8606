// Fuzz target: an answer off the wire, as the client and the server decode it, and every data
// packet in it loaded into datasets, read cell by cell and encoded again.
//
// What must hold for any input: decoding either succeeds or throws EWireError (never crashes,
// never another exception); a decoded value encodes, and encoding is stable
// (Encode(Decode(Encode(v))) == Encode(v)); a packet loads into a dataset that takes its layout,
// and into a dataset of fixed types, or is refused with EDataSetError or EConvertError.
#include "ClientDataSet.h"
#include "Errors.h"
#include "Wire.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_wire: %s\n", what);
        std::abort();
    }
}

// A dataset of every field type, under names a packet may carry.
std::vector<TFieldDef> FixedLayout()
{
    return {{.name = QStringLiteral("TEXTO"), .type = TFieldType::String, .size = 8},
            {.name = QStringLiteral("CODIGO"), .type = TFieldType::FixedString, .size = 4},
            {.name = QStringLiteral("QTD"), .type = TFieldType::Integer},
            {.name = QStringLiteral("VALOR"), .type = TFieldType::Float},
            {.name = QStringLiteral("ATIVO"), .type = TFieldType::Boolean},
            {.name = QStringLiteral("DIA"), .type = TFieldType::Date},
            {.name = QStringLiteral("MOMENTO"), .type = TFieldType::DateTime},
            {.name = QStringLiteral("ANEXO"), .type = TFieldType::Blob}};
}

void ReadEveryCell(TClientDataSet& dataSet)
{
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next())
        for (int i = 0; i < dataSet.FieldCount(); ++i)
            (void)dataSet.Fields(i)->AsString();
    (void)Wire::Encode(dataSet.DataVariant());
}

void LoadPacket(const TDataPacket& packet)
{
    try {
        TClientDataSet taken;
        taken.LoadPacket(packet);
        ReadEveryCell(taken);
    } catch (const EDataSetError&) {
    } catch (const EConvertError&) {
    }
    try {
        TClientDataSet fixed;
        fixed.DefineFields(FixedLayout());
        fixed.LoadPacket(packet);
        ReadEveryCell(fixed);
    } catch (const EDataSetError&) {
    } catch (const EConvertError&) {
    }
}

void LoadPackets(const QVariant& value)
{
    if (VarIsPacket(value))
        return LoadPacket(value.value<TDataPacket>());
    if (value.metaType().id() == QMetaType::QVariantList)
        for (const QVariant& element : value.toList())
            LoadPackets(element);
}

void CheckStableEncoding(const QVariant& value)
{
    const QByteArray once = Wire::Encode(value);
    Require(Wire::Encode(Wire::Decode(once)) == once, "encoding a decoded value is not stable");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const Wire::Response response = Wire::DecodeResponse(bytes);
        if (!response.isError && !VarIsFail(response.result)) {
            CheckStableEncoding(response.result);
            LoadPackets(response.result);
        }
        for (const QVariant& value : response.byref)
            LoadPackets(value);
    } catch (const EWireError&) {
    }
    try {
        const Wire::Request request = Wire::DecodeRequest(bytes);
        for (const QVariant& argument : request.params)
            LoadPackets(argument);
    } catch (const EWireError&) {
    }
    return 0;
}
