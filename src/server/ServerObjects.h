#pragma once
// The server objects: a catalogue of methods by object and name, each with its argument count,
// run in one transaction of the store.

#include "RpcServer.h"
#include "Store.h"

#include <QDateTime>
#include <QMap>
#include <functional>
#include <map>

// What a method sees of its call.
struct TCall {
    QSqlDatabase& db;
    TStore& store;
    const TRpcRequest& request;
    QMap<int, QVariant> byref;   // new values of arguments passed by reference

    QString where() const { return request.object + QLatin1Char('.') + request.method; }

    // Arguments, checked: a wrong type is a clear error naming the method and the argument.
    QString text(int i) const;                 // a string (numbers are taken as their text)
    double number(int i) const;
    TDataPacket packet(int i) const;
    QDate date(int i) const;
    const QVariant& raw(int i) const { return request.params.at(i); }
};

// A refusal meant for the operator: the method answers a failed result ({"$fail": text}) and
// nothing it did is kept.
class ERefusal : public std::runtime_error {
public:
    explicit ERefusal(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// An error the caller catches by its text (an "N_PARAM_" key): the method raises a server
// exception and nothing it did is kept.
class EServerError : public std::runtime_error {
public:
    explicit EServerError(const QString& text) : std::runtime_error(text.toStdString()) {}
};

class TServerObjects {
public:
    using Method = std::function<QVariant(TCall& call)>;

    explicit TServerObjects(TStore& store);

    void Add(const QString& object, const QString& method, int argumentCount, Method body);
    TRpcReply Dispatch(const TRpcRequest& request);
    QStringList Methods() const;

private:
    struct Entry {
        int argumentCount;
        Method body;
    };
    TStore& m_store;
    std::map<QString, Entry> m_methods;   // "object.method"
};

// The catalogue, by group.
void RegisterHost(TServerObjects& objects);       // CRV.rdmHost, rights and people
void RegisterQuote(TServerObjects& objects);      // reading a quote and its checks
void RegisterApproval(TServerObjects& objects);   // the approval's writes
void RegisterClosing(TServerObjects& objects);    // rdmFechaOrca, rdmContratante
void RegisterExecution(TServerObjects& objects);  // rdmExecProc
void RegisterScreens(TServerObjects& objects);    // the other modules' screens
void RegisterAll(TServerObjects& objects);

// Shared helpers of the methods.
QString Stamp(const QDateTime& moment);            // as the store keeps it: "YYYY-MM-DDThh:mm:ss"
QString Now();
QString NextNumber(QSqlDatabase& db, const QString& counter, int width);   // zero-padded
bool Truthy(const QVariant& v);
