#include "Consiste.h"

#include "Dialogs.h"
#include "Wire.h"

QVariant CheckResultServ(const QVariant& result, bool abort, int)
{
    if (VarIsFail(result)) {
        MensErro(result.value<TFailResult>().text, abort);
        return {};
    }
    return result;
}
