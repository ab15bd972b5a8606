#pragma once
// The fake application server of the tests. A test says, per server object and method, what
// to answer (a value, a failed result, an exception, or a function of the arguments), and
// afterwards reads back the calls made, with their arguments, in order. It speaks the real
// protocol on loopback, on a thread of its own, so the tests cover the transport too.

#include "RpcServer.h"

#include <QMutex>
#include <QString>
#include <QVariantList>

#include <functional>
#include <map>

struct FakeCall {
    QString object;
    QString method;
    QVariantList args;
    QString operatorCode;
    QString branch;
    QString token;           // the Bearer token sent, if any
    QString name() const { return object + QLatin1Char('.') + method; }
};

class FakeServer {
public:
    FakeServer();
    ~FakeServer();

    quint16 Port() const { return m_server.Port(); }
    // Points the session (WebURL, WebPort) at this server.
    void UseInSession();

    // "ORE06400.rdmProcOrca.GetOrcaEvento" -> what to answer. The last declaration wins.
    void Answer(const QString& objectMethod, const QVariant& result);
    void AnswerFail(const QString& objectMethod, const QString& text);
    void AnswerError(const QString& objectMethod, const QString& message);
    void AnswerWith(const QString& objectMethod, std::function<TRpcReply(const FakeCall&)> handler);
    // Several answers in turn for successive calls; the last one repeats.
    void AnswerSequence(const QString& objectMethod, const QList<TRpcReply>& replies);

    QList<FakeCall> Calls() const;
    QStringList CallNames() const;              // "object.method" of each call, in order
    QList<FakeCall> CallsTo(const QString& objectMethod) const;
    void ClearCalls();

    TRpcServer& Rpc() { return m_server; }

private:
    TRpcReply dispatch(const TRpcRequest& request);

    mutable QMutex m_mutex;
    std::map<QString, QList<TRpcReply>> m_replies;
    std::map<QString, std::function<TRpcReply(const FakeCall&)>> m_handlers;
    std::map<QString, int> m_served;
    QList<FakeCall> m_calls;
    TRpcServer m_server;
};
