#include "EventGuard.h"

#include "Dialogs.h"
#include "Errors.h"

#include <QObject>

void RunHandler(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const EAbort&) {
        // The operator has already been told why, or nothing was to be said.
    } catch (const EHostError& e) {
        MensErro(e.message(), false);
    } catch (const std::exception& e) {
        MensErro(QString::fromUtf8(e.what()), false);
    }
}
