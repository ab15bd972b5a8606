#pragma once
// Datasets' layouts as forms keep them in their resources: a JSON object of datasets, each an
// array of field definitions {"name","type","size","fixed","label","visible","displayFormat",
// "editFormat","displayWidth","calculated","providerFlags"} (docs/architecture.md).
// TClientDataSet::DefineFields(const QJsonArray&) reads one dataset's array.

#include "Field.h"

#include <QString>

class QJsonObject;
class QObject;

// A field definition from its JSON form; throws EDataSetError, naming the dataset and the field,
// for a field without a name, an unknown type or provider flag, or a size out of range.
TFieldDef FieldDefFromJson(const QJsonObject& o, const QString& dataSetName);

// Creates (or finds) the datasets of a form, children of `owner` named after the layout's
// keys, and defines their fields: {"cdsOrcaEvento": [ {field}, ... ], ...}. Throws
// EDataSetError for a file that cannot be read or is not such a layout.
void DefineDataSets(QObject* owner, const QString& layoutPath);
