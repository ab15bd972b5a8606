#pragma once
// A JSON-RPC 2.0 server over HTTP/1.1 keep-alive (docs/protocol.md), for the application
// server and for the fake server of the tests, over plain TCP or TLS. It listens on its own
// thread; each request is handed to the dispatcher on that thread, one at a time per
// connection.

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
    QString operatorCode;    // X-Operator, when sent
    QString branch;          // X-Branch, when sent
    QString token;           // Authorization: Bearer <token>, when sent
};

// What a method answers: a result (possibly a failed result, FailResult(text)), with values
// for arguments passed by reference, or an exception.
struct TRpcReply {
    QVariant result;
    QMap<int, QVariant> byref;
    bool isError = false;
    QString errorMessage;
    int httpStatus = 200;    // 401 for a call without a valid session, 403 for one refused before any method ran

    static TRpcReply Value(const QVariant& v) { return {v, {}, false, {}}; }
    static TRpcReply Fail(const QString& text) { return {FailResult(text), {}, false, {}}; }
    static TRpcReply Error(const QString& message, int httpStatus = 200) { return {{}, {}, true, message, httpStatus}; }
};

class TRpcServer {
public:
    using Dispatcher = std::function<TRpcReply(const TRpcRequest& request)>;

    explicit TRpcServer(Dispatcher dispatcher);
    ~TRpcServer();

    // Serves HTTPS only, with the PEM certificate (chain) and unencrypted PEM private key of
    // these files; before Listen. Throws EHostError when they cannot be used.
    void UseTls(const QString& certificateFile, const QString& keyFile);
    bool UsesTls() const;

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
