#include "Screenshots.h"

#include "ClientDataSet.h"
#include "Components.h"
#include "Consiste.h"
#include "DBGeral.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "HostServices.h"
#include "Lib00700.h"
#include "NetConnection.h"
#include "QtServices.h"
#include "QuoteList.h"
#include "ScreenLoader.h"
#include "Showavi.h"
#include "Variants.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>

namespace {

// Shows each form for as long as it takes to picture it, then closes it. Over the processing
// dialog it also pictures what opens from there.
class ScreenshotServices : public QtHostServices {
public:
    ScreenshotServices(QString directory, QString quote) : m_directory(std::move(directory)), m_quote(std::move(quote)) {}

    int showModal(QDialog* form) override
    {
        form->show();
        QCoreApplication::processEvents();
        const QString name = QString::fromLatin1(form->metaObject()->className());
        Save(form, name == QLatin1String("TfrmProcOrca")   ? QStringLiteral("processar-orcamento")
                   : name == QLatin1String("TfrmInfoOrca") ? QStringLiteral("informacoes-orcamento")
                                                           : QStringLiteral("tela-") + name.mid(4).toLower());
        if (name == QLatin1String("TfrmProcOrca"))
            FromTheProcessingDialog(form);
        if (auto* country = form->findChild<TBtnPesquisa*>(QStringLiteral("btpPaisNorm")); country && TdtmDBGeral::IsOpen()) {
            SaveNextDialog(QStringLiteral("pesquisa-pais"));
            country->Execute();
        }
        form->close();
        return QDialog::Rejected;
    }

    QStringList written;

private:
    void Save(QWidget* window, const QString& name)
    {
        const QString file = m_directory + QLatin1Char('/') + name + QStringLiteral(".png");
        window->grab().save(file);
        written << file;
    }

    // Pictures the next dialog a service opens (a message box, a list, the password
    // confirmation), then closes it.
    void SaveNextDialog(const QString& name)
    {
        QTimer::singleShot(0, [this, name] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                QCoreApplication::processEvents();
                Save(dialog, name);
                dialog->reject();
            }
        });
    }

    void FromTheProcessingDialog(QDialog* processing)
    {
        auto* msgPadrao = processing->findChild<TMessages*>(QStringLiteral("msgPadrao"));
        auto* approval = processing->findChild<TNetConnection*>(QStringLiteral("netAprovacao"));
        auto dataSet = [processing](const char* name) { return processing->findChild<TClientDataSet*>(QString::fromLatin1(name)); };
        auto source = [processing](const char* name) { return processing->findChild<TDataSource*>(QString::fromLatin1(name)); };
        const QVariantList key{FiliProc(), m_quote, QStringLiteral("01")};

        {
            const WaitScope wait(MainForm(), TWaitKind::Processing);
            QCoreApplication::processEvents();
            Save(processing, QStringLiteral("aguarde"));
        }

        // The quote's parts, as the approval reads them, for the lists and the screens.
        const QVariant general = CheckResultServ(approval->Call(QStringLiteral("GetGeral"), key));
        const char* parts[] = {"cdsItemOrcaEven", "cdsTotalGrupo", "cdsTotalOpcao", "cdsTotalOrca", "cdsItMaoObra", "cdsObsExtOrcaEv", "cdsObsIntOrcaEv", "cdsEndeNovoClie"};
        for (int i = 0; i < 8; ++i)
            dataSet(parts[i])->SetData(VarElement(general, i, QStringLiteral("GetGeral")));
        dataSet("cdsSalaoEven")->SetData(CheckResultServ(approval->Call(QStringLiteral("GetSalao"), key)));
        dataSet("cdsOpcao")->SetData(CheckResultServ(approval->Call(QStringLiteral("GetOpcao"), key)));

        SaveNextDialog(QStringLiteral("lista-opcoes"));
        QString ticked;
        PesquisaLista(source("dtsOpcao"), QStringLiteral("NROPCAITOREV"), msgPadrao->Msg(QStringLiteral("Opcoes")), false, ticked);
        SaveNextDialog(QStringLiteral("lista-saloes"));
        PesquisaLista(source("dtsSalaoEven"), QStringLiteral("CDSALAOEVEN"), msgPadrao->Msg(QStringLiteral("Salao")), false, ticked);
        SaveNextDialog(QStringLiteral("pergunta"));
        msgPadrao->ShowMsg(QStringLiteral("EXISTE_PROPOSTA"), mtConfirmation, mbYes | mbNo, 0);
        SaveNextDialog(QStringLiteral("confirmar-senha"));
        CriaConfSenha(QStringLiteral("SUP1"), msgPadrao->Msg(QStringLiteral("SENHA_APROV")), msgPadrao->Msg(QStringLiteral("OPER")));

        // The information dialog, through the module's own entry.
        reinterpret_cast<void (*)(bool)>(PackageSymbol(QStringLiteral("ORE06400"), "CriaInfOrca"))(true);

        // The screens of other modules, with what the module hands them.
        bool stop = false;
        RunPackageScreen(QStringLiteral("ORE00402"), QVariantList{key[0], key[1], key[2], VarRef(&stop)});
        RunPackageScreen(QStringLiteral("ORE00105"), QVariantList{key[0], key[1], key[2], QString(), true, VarRef(source("dtsEndeNovoClie")),
                                                                  VarRef(source("dtsInteclieOrev"))});
        RunPackageScreen(QStringLiteral("ORE00406"), QVariantList{key[0], key[1], key[2], QStringLiteral("2027-04-02")});
        RunPackageScreen(QStringLiteral("ORE09000"), key);
        RunPackageScreen(QStringLiteral("ORE00610"), QVariantList{VarRef(dataSet("cdsItemOrcaEven")), QStringLiteral("Itens do orçamento %1/01").arg(m_quote)});
        RunPackageScreen(QStringLiteral("ORE06700"), key);
    }

    QString m_directory, m_quote;
};

} // namespace

QStringList TakeScreenshots(const QString& directory, const QString& quote)
{
    QStringList written;
    auto save = [&](QWidget* window, const char* name) {
        window->show();
        QCoreApplication::processEvents();
        const QString file = directory + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png");
        window->grab().save(file);
        written << file;
    };
    InstallHostServices(std::make_unique<QtHostServices>());
    {
        TfrmLogin login(QStringLiteral("http://%1:%2").arg(WebURL()).arg(WebPort()), Operador(), FiliProc());
        save(&login, "entrada");
        TfrmListaOrcamentos list;
        save(&list, "lista-orcamentos");
        // The panel of a quote with warnings and orders to make.
        list.edtPesquisa->setText(QStringLiteral("0000000303"));
        save(&list, "pendencias");
    }
    auto& services = static_cast<ScreenshotServices&>(InstallHostServices(std::make_unique<ScreenshotServices>(directory, quote)));
    RunPackageScreen(QStringLiteral("ORE06400"), QVariantList{1, FiliProc(), quote, QStringLiteral("01"), Operador(), QStringLiteral("ORE00400")});
    written << services.written;
    return written;
}
