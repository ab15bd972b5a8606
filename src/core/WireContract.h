#pragma once
// The server's side of the wire contract, as the client, the server and the server's rules all
// name it: the server objects, and where the long methods keep each of their arguments.

#include <QLatin1String>

// The server objects (POST /rpc/<object>).
namespace ServerObject {
inline constexpr QLatin1String Host{"CRV.rdmHost"};
inline constexpr QLatin1String ProcOrca{"ORE06400.rdmProcOrca"};
inline constexpr QLatin1String AprovaOrca{"ORE00400.rdmAprovaOrca"};
inline constexpr QLatin1String FechaOrca{"ORE00800.rdmFechaOrca"};
inline constexpr QLatin1String ExecProc{"ORE02900.rdmExecProc"};
inline constexpr QLatin1String Contratante{"ORE09000.rdmContratante"};
inline constexpr QLatin1String Cliente{"ORE00105.rdmCliente"};
inline constexpr QLatin1String Proposta{"ORE00406.rdmProposta"};
inline constexpr QLatin1String Produto{"ORE06700.rdmProduto"};
} // namespace ServerObject

// rdmAprovaOrca.SetAprova: the approval, with the delivery address, the client and the payment
// proposal that go with it; the last argument is sent empty.
namespace SetAprovaArg {
enum : int {
    Number, Sequence, Branch, Operator,
    Address, Country, State, City, District, Reference, AddressKind,   // DSENDENTOREV … IDENDENTOREV
    Client, Proposal, Reserved,
    Count
};
} // namespace SetAprovaArg

// rdmAprovaOrca.SetEndCliente: the delivery address of one quote.
namespace SetEndClienteArg {
enum : int {
    Branch, Number, Sequence,
    Address, Country, State, City, District, Reference, AddressKind, Complement,   // DSENDENTOREV … DSCOMPENDORCEVE
    Count
};
} // namespace SetEndClienteArg

// rdmFechaOrca.GetOrcaEvento and rdmExecProc.GetOrcaEvento: the quotes of a branch in a range of
// numbers, every sequence, in one situation when it is given. Arguments 0 to 2 come back by
// reference. The closing's form has one argument more than the execution's, both unused.
namespace GetOrcaEventoRangeArg {
enum : int {
    Branch, FirstNumber, LastNumber,
    Situation = 13,
    CountExecution = 16,
    CountClosing = 17
};
} // namespace GetOrcaEventoRangeArg
