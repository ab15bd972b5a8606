#include "FakeServer.h"

#include "HostServices.h"

FakeServer::FakeServer() : m_server([this](const TRpcRequest& r) { return dispatch(r); })
{
    m_server.Listen();
}

FakeServer::~FakeServer() { m_server.Stop(); }

void FakeServer::UseInSession()
{
    Session().webURL = QStringLiteral("127.0.0.1");
    Session().webPort = Port();
}

void FakeServer::Answer(const QString& objectMethod, const QVariant& result)
{
    AnswerSequence(objectMethod, {TRpcReply::Value(result)});
}

void FakeServer::AnswerFail(const QString& objectMethod, const QString& text)
{
    AnswerSequence(objectMethod, {TRpcReply::Fail(text)});
}

void FakeServer::AnswerError(const QString& objectMethod, const QString& message)
{
    AnswerSequence(objectMethod, {TRpcReply::Error(message)});
}

void FakeServer::AnswerWith(const QString& objectMethod, std::function<TRpcReply(const FakeCall&)> handler)
{
    QMutexLocker lock(&m_mutex);
    m_replies.erase(objectMethod);
    m_handlers[objectMethod] = std::move(handler);
}

void FakeServer::AnswerSequence(const QString& objectMethod, const QList<TRpcReply>& replies)
{
    QMutexLocker lock(&m_mutex);
    m_handlers.erase(objectMethod);
    m_replies[objectMethod] = replies;
    m_served[objectMethod] = 0;
}

QList<FakeCall> FakeServer::Calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList FakeServer::CallNames() const
{
    QStringList names;
    for (const auto& c : Calls())
        names << c.name();
    return names;
}

QList<FakeCall> FakeServer::CallsTo(const QString& objectMethod) const
{
    QList<FakeCall> calls;
    for (const auto& c : Calls())
        if (c.name() == objectMethod)
            calls << c;
    return calls;
}

void FakeServer::ClearCalls()
{
    QMutexLocker lock(&m_mutex);
    m_calls.clear();
}

TRpcReply FakeServer::dispatch(const TRpcRequest& request)
{
    FakeCall call{request.object, request.method, request.params, request.operatorCode, request.branch, request.token};
    std::function<TRpcReply(const FakeCall&)> handler;
    TRpcReply reply;
    {
        QMutexLocker lock(&m_mutex);
        m_calls << call;
        const QString key = call.name();
        if (auto h = m_handlers.find(key); h != m_handlers.end()) {
            handler = h->second;
        } else if (auto r = m_replies.find(key); r != m_replies.end() && !r->second.isEmpty()) {
            int& served = m_served[key];
            reply = r->second.at(std::min<qsizetype>(served, r->second.size() - 1));
            ++served;
        } else {
            return TRpcReply::Error(QStringLiteral("Método desconhecido: %1").arg(key));
        }
    }
    return handler ? handler(call) : reply;
}
