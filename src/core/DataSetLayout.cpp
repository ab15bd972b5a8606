#include "DataSetLayout.h"

#include "ClientDataSet.h"
#include "Errors.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>


TFieldDef FieldDefFromJson(const QJsonObject& o, const QString& dataSetName)
{
    TFieldDef def;
    def.name = o.value(QLatin1String("name")).toString();
    if (def.name.isEmpty())
        throw EDataSetError(QStringLiteral("%1: campo sem nome no layout.").arg(dataSetName));
    const auto type = FieldTypeFromName(o.value(QLatin1String("type")).toString());
    if (!type)
        throw EDataSetError(QStringLiteral("%1: o campo %2 tem o tipo desconhecido \"%3\".")
                                .arg(dataSetName, def.name, o.value(QLatin1String("type")).toString()));
    def.type = *type;
    if (o.value(QLatin1String("fixed")).toBool() && def.type == TFieldType::String)
        def.type = TFieldType::FixedString;
    def.size = o.value(QLatin1String("size")).toInt();
    if (def.size < 0 || def.size > MaxFieldSize)
        throw EDataSetError(QStringLiteral("%1: o campo %2 tem tamanho inválido.").arg(dataSetName, def.name));
    def.kind = o.value(QLatin1String("calculated")).toBool() ? fkCalculated : fkData;
    def.displayLabel = o.value(QLatin1String("label")).toString();
    def.visible = o.value(QLatin1String("visible")).toBool(true);
    def.displayFormat = o.value(QLatin1String("displayFormat")).toString();
    def.editFormat = o.value(QLatin1String("editFormat")).toString();
    def.displayWidth = o.value(QLatin1String("displayWidth")).toInt();
    if (o.contains(QLatin1String("providerFlags"))) {
        def.providerFlags = 0;
        for (const auto& flag : o.value(QLatin1String("providerFlags")).toArray()) {
            const QString f = flag.toString();
            if (f == QLatin1String("inUpdate"))
                def.providerFlags |= pfInUpdate;
            else if (f == QLatin1String("inWhere"))
                def.providerFlags |= pfInWhere;
            else if (f == QLatin1String("inKey"))
                def.providerFlags |= pfInKey;
            else if (f == QLatin1String("hidden"))
                def.providerFlags |= pfHidden;
            else
                throw EDataSetError(QStringLiteral("%1: o campo %2 tem a marca de provedor desconhecida \"%3\".").arg(dataSetName, def.name, f));
        }
    }
    return def;
}

void DefineDataSets(QObject* owner, const QString& layoutPath)
{
    QFile file(layoutPath);
    if (!file.open(QIODevice::ReadOnly))
        throw EDataSetError(QStringLiteral("O layout de datasets %1 não pôde ser lido.").arg(layoutPath));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        throw EDataSetError(QStringLiteral("O layout de datasets %1 é inválido: %2").arg(layoutPath, error.errorString()));
    const QJsonObject layouts = doc.object();
    for (auto it = layouts.begin(); it != layouts.end(); ++it) {
        auto* ds = owner->findChild<TClientDataSet*>(it.key(), Qt::FindDirectChildrenOnly);
        if (!ds)
            ds = new TClientDataSet(owner, it.key());
        ds->DefineFields(it.value().toArray());
    }
}

void TClientDataSet::DefineFields(const QJsonArray& layout)
{
    std::vector<TFieldDef> defs;
    for (const auto& v : layout)
        defs.push_back(FieldDefFromJson(v.toObject(), objectName()));
    DefineFields(defs);
}
