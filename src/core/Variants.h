#pragma once
// The value model. A variant is a QVariant; a variant array is a QVariantList.
//   Unassigned  – an invalid QVariant (the default), the value of a variable never set;
//   Null        – a QVariant holding std::nullptr_t, the database's null;
// they are kept apart on the wire and in datasets. References to a caller's object (a flag,
// a data source, a dataset) travel as 64-bit integers holding the object's address.

#include <QVariant>
#include <QVariantList>
#include <cstdint>
#include <initializer_list>

QVariant Null();
QVariant Unassigned();
bool VarIsNull(const QVariant& v);        // Null only
bool VarIsEmpty(const QVariant& v);       // Unassigned only
bool VarIsClear(const QVariant& v);       // Null or Unassigned
bool VarIsArray(const QVariant& v);

QVariant VarArrayOf(std::initializer_list<QVariant> values);

// Text of a value, empty for Null and Unassigned.
QString VarToStr(const QVariant& v);

// Element i of a payload array. `context` names where it came from (the remote method),
// so that a short array or a packet where an array was expected is reported clearly.
QVariant VarElement(const QVariant& array, int index, const QString& context);

// A reference to one of the caller's objects, carried as an integer.
template <class T>
QVariant VarRef(T* object)
{
    return QVariant::fromValue<qint64>(static_cast<qint64>(reinterpret_cast<std::intptr_t>(object)));
}

// The object a reference points to; throws EWireError when the value is no reference.
void* VarRefAddress(const QVariant& v, const char* what);
template <class T>
T* VarDeref(const QVariant& v, const char* what = "reference")
{
    return static_cast<T*>(VarRefAddress(v, what));
}
