#pragma once
// A JSON-RPC 2.0 server over HTTP/1.1 keep-alive (docs/protocol.md), for the application
// server and for the fake server of the tests, over plain TCP or TLS.
//
// One thread accepts connections and reads requests; it never waits for a call. Calls run on
// a pool of worker threads (each keeps its own database connection, see TStore), one call at a
// time per connection and in order; methods named slow (password checks) run on a lane of
// their own so that they hold up no one. Resources are bounded, so that slow or fat requests
// cannot shut the door on the others:
//   - a connection waiting for a request is closed after an idle time; a request, once its
//     first byte has come, must arrive within a deadline (its head within a few seconds, its
//     body at a minimum rate), or it is answered 408 and its connection closed;
//   - connections beyond a limit, in all or from one network address, are answered 503 at once;
//   - a body above a limit is answered 413 before it is read; one above a smaller limit is read
//     only when the application says the request's token names a live session (401 otherwise);
//   - the bodies held by all connections together are bounded: a request whose body would pass
//     the bound is answered 503 before it is read.

#include "Wire.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>
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
    QString peer{};          // the caller's network address, as the connection shows it (none for a call made in-process)
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

struct TRpcServerOptions {
    int workers = 0;                     // threads that run calls; 0: the number of cores, at least 2
    QStringList slowMethods = {};        // "object.method" run on the slow lane
    int slowWorkers = 0;                 // threads of the slow lane; 0: half the workers, at least 1
    int idleTimeoutMs = 60000;           // a connection idle this long is closed; 0: never
    int maxConnections = 512;            // open connections at most; a new one beyond is answered 503
    qint64 maxBodyBytes = qint64(16) << 20;  // a larger request body is answered 413, unread
    int logSlowMs = -1;                  // calls slower than this many ms go to standard error; -1: none
    // A request must come whole in time: its head within headTimeoutMs of its first byte, its
    // body within bodyTimeoutMs of the head plus the time its declared length takes at
    // minBodyBytesPerSecond. Late, it is answered 408 and its connection closed. 0: no deadline
    // (no minimum rate).
    int headTimeoutMs = 10000;
    int bodyTimeoutMs = 10000;
    qint64 minBodyBytesPerSecond = 32 * 1024;
    int maxConnectionsPerPeer = 64;      // open connections of one network address at most; 0: no limit
    // The bodies held at once by all connections, from the head that declares one until its
    // call has ended, counted by their declared length: a request that would pass it is answered
    // 503 before its body is read. Never less than maxBodyBytes.
    qint64 maxBufferedBodyBytes = qint64(128) << 20;
    // Whether a request's token names a live session, asked on a worker before a body longer
    // than maxBodyWithoutSession is read: the request (its object, token and peer; no method
    // yet) is refused 401 when it answers false, 503 when it throws. Unset: any body up to
    // maxBodyBytes is read (a server that knows no sessions).
    std::function<bool(const TRpcRequest& head, qint64 bodyBytes)> sessionIsLive = {};
    qint64 maxBodyWithoutSession = 64 * 1024;
    // Run on a worker every housekeepingMs while the server listens: what the application does
    // from time to time, whether calls come or not.
    std::function<void()> housekeeping = {};
    int housekeepingMs = 10000;
    // Run on the worker after each call, once its answer is handed to the connection: what a
    // call may finish without the caller waiting for it (the store ends a read there).
    std::function<void()> afterAnswer = {};
};

class TRpcServer {
public:
    using Dispatcher = std::function<TRpcReply(const TRpcRequest& request)>;

    // The dispatcher is called on the worker threads, several calls at once.
    explicit TRpcServer(Dispatcher dispatcher, TRpcServerOptions options = {});
    ~TRpcServer();

    // Serves HTTPS only, with the PEM certificate (chain) and unencrypted PEM private key of
    // these files; before Listen. Throws EHostError when they cannot be used.
    void UseTls(const QString& certificateFile, const QString& keyFile);

    // Starts listening (port 0: any free port); throws EHostError when it cannot.
    void Listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 Port() const;
    // Stops listening, drops the open connections and waits for the calls under way, at most
    // `waitMs` milliseconds when it is not negative. True once everything has stopped; false
    // when a call is still running after the wait (stuck on its database, say): the server is
    // then left as it is, for the process to end without it.
    bool Stop(int waitMs = -1);

    // Delays every answer by `ms` (tests of time limits); 0 answers at once. With a negative
    // value the server never answers.
    void SetAnswerDelay(int ms);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
