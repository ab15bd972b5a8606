#pragma once
// Event handlers that begin an operator's operation run through RunHandler: the silent abort
// ends the operation quietly, and any other error reaches the operator as an error box with
// its message. No exception leaves a handler into Qt's event loop.

#include <QObject>

#include <functional>

void RunHandler(const std::function<void()>& handler);

// Connects `signal` of `sender` to `handler`, run through RunHandler.
template <class Sender, class Signal, class Handler>
void ConnectHandler(Sender* sender, Signal signal, QObject* context, Handler handler)
{
    QObject::connect(sender, signal, context, [handler](auto&&...) { RunHandler(handler); });
}
