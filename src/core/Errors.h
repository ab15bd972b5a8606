#pragma once
// The framework's exceptions. They are exported from libcore (default visibility), so a
// screen package, the module package and the host application all catch them by type.

#include <QString>
#include <exception>
#include <stdexcept>

// The silent abort: ends the operator's current operation without showing anything.
// Only the event handler that began the operation catches it (see RunHandler).
class EAbort : public std::exception {
public:
    const char* what() const noexcept override;
};

[[noreturn]] void Abort();

// Every other error of the framework carries a text meant for the operator or the developer.
class EHostError : public std::runtime_error {
public:
    explicit EHostError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// The server answered with an exception; the message is the server's text, unchanged.
class ERemoteError : public EHostError {
public:
    using EHostError::EHostError;
};

// The server could not be reached, did not answer in time, or answered with something
// that is not the protocol.
class ETransportError : public EHostError {
public:
    using EHostError::EHostError;
};

// A value, payload or data packet that does not follow the wire format.
class EWireError : public EHostError {
public:
    using EHostError::EHostError;
};

// Misuse of a dataset: unknown field, wrong state, bad filter, value of the wrong type.
class EDataSetError : public EHostError {
public:
    using EHostError::EHostError;
};

// A value that cannot be converted to the type asked for (an entry's parameter, say).
class EConvertError : public EHostError {
public:
    using EHostError::EHostError;
};

// A screen package that cannot be found or has no entry point.
class EScreenError : public EHostError {
public:
    using EHostError::EHostError;
};
