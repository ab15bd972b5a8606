#pragma once
// The processing dialog of one quote, created as a launch creates it, the operator's rights
// answered by the fake server. For the tests that link the module package.

#include "TestSupport.h"

#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Closing.h"
#include "EventGuard.h"
#include "Execution.h"
#include "QuoteContext.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

#include <functional>
#include <memory>

class ProcessingTest : public ScriptedHostTest {
protected:
    struct Launch {
        int situation = 1;
        QString sequence = "01";
        QString operatorCode = "OPER1";
        QString screen = "ORE00400";
        QString rightsField = "CDPROCHABAPROPE";   // the column of the operator's rights
        QString rights = "APROVAR";
    };

    // Sets the launch's globals (branch 0001, quote 123) and answers the operator's rights.
    void Prepare(const Launch& launch)
    {
        using namespace Cli_ore06400;
        Initialization();
        inStatusOrca = launch.situation;
        stCdFili = "0001";
        stNrOrca = "123";
        stNrSeq = launch.sequence;
        stCdOperador = launch.operatorCode;
        stTelaOrc = launch.screen;
        server.Answer("ORE06400.rdmProcOrca.GetOperControle",
                      VarArrayOf({PacketVar({{launch.rightsField, TFieldType::String, 30}}, {{launch.rights}}), PacketVar({{"X", TFieldType::String, 1}}, {})}));
    }
    // Creates the dialog; the calls of its creation are forgotten.
    void Create()
    {
        form = std::make_unique<TfrmProcOrca>();
        Cli_ore06400::frmProcOrca = form.get();
        server.ClearCalls();
    }
    void TearDown() override
    {
        Cli_ore06400::frmProcOrca = nullptr;
        form.reset();
        ScriptedHostTest::TearDown();
    }
    // Runs `step` as an event of the dialog runs it; true when it ended normally.
    static bool Finishes(const std::function<void()>& step)
    {
        bool finished = false;
        RunHandler([&] {
            step();
            finished = true;
        });
        return finished;
    }

    std::unique_ptr<TfrmProcOrca> form;
};
