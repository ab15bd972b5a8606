#pragma once
// The server objects: a catalogue of methods by object and name, each declared once
// (MethodDeclaration.h) and run in one transaction of the store.

#include "ChannelListener.h"
#include "Journal.h"
#include "MethodDeclaration.h"
#include "Refusals.h"
#include "RpcServer.h"
#include "SessionCache.h"
#include "Sessions.h"
#include "Store.h"
#include "WireContract.h"

#include <QDateTime>
#include <QMap>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

// A data packet as a method answers it.
inline QVariant Pack(const TDataPacket& packet) { return QVariant::fromValue(packet); }

// What a method sees of its call. The request's operator and branch are the session's.
struct TCall {
    QSqlDatabase& db;
    TStore& store;
    const TRpcRequest& request;
    QMap<int, QVariant> byref;              // new values of arguments passed by reference
    const TSessionInfo* session = nullptr;  // null only while logging in
    QDateTime now;                          // the server's clock when the call began
    const TSessionPolicy* policy = nullptr;
    // Methods that check a password: the check, counted before the call's transaction (with what
    // the caller is told when he is locked).
    TPasswordCheck password{};
    // What the journal records of the call, when the method says more than its result does.
    QString journalOutcome{};
    QString journalNote{};
    const TMethodDeclaration* method = nullptr;   // what is called
    const class TServerObjects* objects = nullptr;

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

// Every call but CRV.rdmHost.Login needs a valid session (docs/protocol.md): without one it is
// answered HTTP 401. The session's operator and branch are the ones the methods see; headers
// naming others are refused. A method's further demands (its rule, checked by Authorization.h)
// are checked in its transaction, before it runs; a change is journalled in that same
// transaction, and refusals and failures in one of their own.
//
// On PostgreSQL a call that only reads takes its session from the sessions lately found
// (TSessionCache), which the store's notifications keep true: a session ended through another
// server stops serving reads here once the notification arrives, within moments. A change made
// through this server is forgotten here at once.
class TServerObjects {
public:
    using Method = std::function<QVariant(TCall& call)>;

    explicit TServerObjects(TStore& store, TSessionPolicy policy = {});
    ~TServerObjects();

    // The methods of one server object, each declared with everything the server must know of
    // it: a method that only reads, or one that changes the store.
    class TObject {
    public:
        void Read(const QString& method, int argumentCount, const TMethodLabel& label, const TMethodRule& rule, Method body);
        void Write(const QString& method, int argumentCount, const TMethodLabel& label, const TMethodRule& rule, Method body);

    private:
        friend class TServerObjects;
        TObject(TServerObjects& objects, QString name) : m_objects(objects), m_name(std::move(name)) {}
        TServerObjects& m_objects;
        QString m_name;
    };
    TObject Object(QLatin1String name) { return TObject(*this, QString(name)); }

    // Adds a method. A declaration with faults (MethodDeclaration.h), or a name already taken,
    // is refused with std::logic_error: the server does not start with it.
    void Declare(TMethodDeclaration declaration);
    // Every declared method, by "object.method".
    const std::map<QString, TMethodDeclaration>& Methods() const { return m_methods; }
    // What the quote's history calls a journalled call; a method no longer declared keeps its
    // own name.
    QString LabelOf(const QString& object, const QString& method, const QString& arguments) const;

    TRpcReply Dispatch(const TRpcRequest& request);

    // A server of these objects, not yet listening: each call dispatched on a worker, and a
    // read's transaction ended once its answer has gone (TStore::settle). A body longer than a
    // caller without a session may send is read only once its token is found live, and the
    // refusals of calls without a session are journalled a minute at a time.
    std::unique_ptr<TRpcServer> Serve(TRpcServerOptions options = {});

    // Journals the refusals without a session counted per address (Refusals.h) whose minute is
    // over (every one, with `all`). The server does it every few seconds, and at its end.
    void JournalRefusals(bool all = false);

    // Whether reads may take their session from those kept: on PostgreSQL, while the store's
    // notifications are heard.
    bool HearsSessionChanges() const { return m_sessions.Hearing(); }
    // Whether a read of `token`'s session would take it from those kept.
    bool KeepsSessionOf(const QString& token) const;

    // The clock of sessions, locks and the journal: the machine's, `seconds` ahead. Tests move
    // it while the workers read it.
    void SetClockAhead(qint64 seconds) { m_clockAhead.store(seconds, std::memory_order_relaxed); }
    const TSessionPolicy& Policy() const { return m_policy; }

private:
    TStore& m_store;
    TSessionPolicy m_policy;
    std::atomic<qint64> m_clockAhead{0};
    std::map<QString, TMethodDeclaration> m_methods;   // "object.method"
    TSessionCache m_sessions;
    std::unique_ptr<TChannelListener> m_sessionChanges;   // PostgreSQL only
    TRefusalTally m_refusals;

    std::optional<TSessionInfo> findSession(QSqlDatabase& db, const QString& token, const QDateTime& now, bool reading);
    void journalAlone(const TJournalEntry& entry);
    // Whether `token` names a live session, read in a transaction of its own (which a store that
    // fails ends with its exception).
    bool isLive(const QString& token, const QDateTime& now);
    // A call of a method not declared, or with the wrong number of arguments: said so to a
    // session only; a caller without one is refused as any other.
    TRpcReply unknownMethod(const TRpcRequest& request, const TMethodDeclaration* named, const QDateTime& now);
};

// The text of a call without a valid session.
extern const char* const kSessionInvalid;

// The catalogue, by group.
void RegisterHost(TServerObjects& objects);       // CRV.rdmHost, rights and people
void RegisterQuote(TServerObjects& objects);      // reading a quote and its checks
void RegisterApproval(TServerObjects& objects);   // the approval's writes
void RegisterClosing(TServerObjects& objects);    // rdmFechaOrca, rdmContratante
void RegisterExecution(TServerObjects& objects);  // rdmExecProc
void RegisterScreens(TServerObjects& objects);    // the other modules' screens
void RegisterReadiness(TServerObjects& objects);  // CRV.rdmHost: what stops a quote, and its history
void RegisterAll(TServerObjects& objects);

// Shared helpers of the methods.
QString Stamp(const QDateTime& moment);            // as the store keeps it: "YYYY-MM-DDThh:mm:ss"
QString Now();
QString NextNumber(QSqlDatabase& db, const QString& counter, int width);   // zero-padded
bool Truthy(const QVariant& v);
// Keeps the memory of one call's buffers for the next (an answer of a few hundred kilobytes is
// otherwise mapped and unmapped by the allocator on every call, page by page). For the server
// process, before it serves.
void KeepMemoryBetweenCalls();

// The branch's quotes with their situation and total, as ListaOrcamentos answers them (one
// parameter: the branch).
QString QuoteListSql();
