#pragma once
// A JSON-RPC 2.0 server over HTTP/1.1 keep-alive (docs/protocol.md), for the application
// server and for the fake server of the tests. It listens on its own thread; each request
// is handed to the dispatcher on that thread, one at a time per connection.

#include "Wire.h"

#include <QHostAddress>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

struct TRpcRequest {
    QString object;          // the server object, from the path /rpc/<object>
    QString method;
    QVariantList params;
    QString operatorCode;    // X-Operator
    QString branch;          // X-Branch
};

// What a method answers: a result (possibly a failed result, FailResult(text)), with values
// for arguments passed by reference, or an exception.
struct TRpcReply {
    QVariant result;
    QMap<int, QVariant> byref;
    bool isError = false;
    QString errorMessage;

    static TRpcReply Value(const QVariant& v) { return {v, {}, false, {}}; }
    static TRpcReply Fail(const QString& text) { return {FailResult(text), {}, false, {}}; }
    static TRpcReply Error(const QString& message) { return {{}, {}, true, message}; }
};

class TRpcServer {
public:
    using Dispatcher = std::function<TRpcReply(const TRpcRequest& request)>;

    explicit TRpcServer(Dispatcher dispatcher);
    ~TRpcServer();

    // Starts listening (port 0: any free port); throws EHostError when it cannot.
    void Listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 Port() const;
    void Stop();

    // Delays every answer by `ms` (tests of time limits); 0 answers at once. With a negative
    // value the server never answers.
    void SetAnswerDelay(int ms);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
