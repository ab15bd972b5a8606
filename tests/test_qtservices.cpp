// The services for people (QtHostServices) on the offscreen platform: where the wait
// animation stands, the cursor while a call waits, and how the lists and the password
// confirmation open.
#include "TestSupport.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "HostServices.h"
#include "Lib00700.h"
#include "NetConnection.h"
#include "QtServices.h"
#include "Showavi.h"

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

class QtServices : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallHostServices(std::make_unique<QtHostServices>());
        server.UseInSession();
        Session().callTimeoutMs = 5000;
    }
    void TearDown() override
    {
        DeactiveShowAvi();
        UninstallHostServices();
    }
    static TWaitOverlay* OverlayOn(QWidget* window)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window->findChild<TWaitOverlay*>(QString(), Qt::FindDirectChildrenOnly);
    }

    FakeServer server;
};

TEST_F(QtServices, TheWaitAnimationCoversTheWindowTheOperatorIsLookingAt)
{
    QWidget mainForm;
    mainForm.resize(900, 500);
    mainForm.show();
    QDialog dialog(&mainForm);
    dialog.setModal(true);
    auto* box = new QLineEdit(&dialog);
    (new QVBoxLayout(&dialog))->addWidget(box);
    dialog.resize(450, 180);
    dialog.show();
    box->setFocus();

    // With the modal dialog open, the animation stands over the dialog, not over the main form behind it.
    ActiveShowAvi(&mainForm, 6);
    TWaitOverlay* over = OverlayOn(&dialog);
    ASSERT_NE(over, nullptr);
    EXPECT_EQ(OverlayOn(&mainForm), nullptr);
    EXPECT_TRUE(over->isVisible());
    EXPECT_EQ(over->geometry(), dialog.rect());
    // ... and swallows what the operator types meanwhile.
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : over, &key);
    EXPECT_TRUE(box->text().isEmpty());
    DeactiveShowAvi();
    EXPECT_EQ(OverlayOn(&dialog), nullptr);

    // Without a dialog, over the main form.
    dialog.hide();
    ActiveShowAvi(&mainForm, 1);
    ASSERT_NE(OverlayOn(&mainForm), nullptr);
    EXPECT_EQ(OverlayOn(&mainForm)->kind(), 1);
}

TEST_F(QtServices, AWaitScopeHidesTheAnimationOnceOnEveryWayOut)
{
    QWidget mainForm;
    mainForm.resize(600, 400);
    mainForm.show();

    // A step that fails takes the animation with it.
    try {
        const WaitScope wait(&mainForm, TWaitKind::Processing);
        ASSERT_NE(OverlayOn(&mainForm), nullptr);
        throw EHostError(QStringLiteral("falhou"));
    } catch (const EHostError&) {
    }
    EXPECT_EQ(OverlayOn(&mainForm), nullptr);

    // Hidden early, the scope leaves alone the animation another step shows after that point.
    {
        WaitScope wait(&mainForm, TWaitKind::Processing);
        wait.Hide();
        EXPECT_EQ(OverlayOn(&mainForm), nullptr);
        wait.Hide();
        ActiveShowAvi(&mainForm, 6);
    }
    ASSERT_NE(OverlayOn(&mainForm), nullptr);
    EXPECT_EQ(OverlayOn(&mainForm)->kind(), 6);
}

TEST_F(QtServices, TheCursorSaysBusyWhileACallWaits)
{
    server.Answer(QStringLiteral("ORE06400.rdmProcOrca.GetOrcaEvento"), 1);
    server.Rpc().SetAnswerDelay(300);
    TNetConnection net(nullptr, QStringLiteral("netProcessaOrca"), QStringLiteral("ORE06400.rdmProcOrca"));
    int during = -1;
    QTimer::singleShot(100, [&] { during = QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::ArrowCursor; });
    net.Call(QStringLiteral("GetOrcaEvento"));
    EXPECT_EQ(during, Qt::BusyCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A call that fails leaves the cursor as it was, too.
    server.Rpc().SetAnswerDelay(0);
    server.AnswerError(QStringLiteral("ORE06400.rdmProcOrca.GetOrcaEvento"), QStringLiteral("falhou"));
    EXPECT_THROW(net.Call(QStringLiteral("GetOrcaEvento")), ERemoteError);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The choice list (Pesquisar) and the tick list (PesquisaLista) over the same records: no title
// and no value is cut, however narrow the layout's display width.
class ListColumns : public QtServices, public ::testing::WithParamInterface<bool> {};

TEST_P(ListColumns, CoverEveryTitleAndValue)
{
    const bool tickList = GetParam();
    TClientDataSet options;
    options.DefineFields({{"IDMARCADO", TFieldType::String, 1, fkData, "", false},
                          {"NROPCAITOREV", TFieldType::String, 2, fkData, "Código", true, "", "", 2},
                          {"DSOPCAO", TFieldType::String, 40, fkData, "Agulha", true, "", "", 3},
                          {"VRTOTAL", TFieldType::Float, 0, fkData, "Valor", true, "#,##0.00", "", 4}});
    options.SetData(PacketVar({{"IDMARCADO", TFieldType::String, 1}, {"NROPCAITOREV", TFieldType::String, 2}, {"DSOPCAO", TFieldType::String, 40},
                               {"VRTOTAL", TFieldType::Float, 0}},
                              {{"N", "01", "Opção com decoração completa do salão", 3000.0}, {"N", "02", "Simples", 123456.78}}));
    TDataSource source(nullptr, QStringLiteral("dtsOpcao"), &options);
    QStringList cut;
    QTimer::singleShot(0, [&] {
        auto* dialog = static_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* grid = dialog->findChild<QTableView*>(QStringLiteral("grdPesquisa"));
        ASSERT_NE(grid, nullptr);
        const QFontMetrics metrics(grid->font());
        for (int c = tickList ? 1 : 0; c < grid->model()->columnCount(); ++c) {
            const QString title = grid->model()->headerData(c, Qt::Horizontal).toString();
            if (grid->columnWidth(c) < grid->horizontalHeader()->sectionSizeHint(c))
                cut << title;
            for (int r = 0; r < grid->model()->rowCount(); ++r) {
                const QString value = grid->model()->index(r, c).data().toString();
                if (grid->columnWidth(c) < metrics.horizontalAdvance(value) + 6 || grid->columnViewportPosition(c) + grid->columnWidth(c) > grid->viewport()->width())
                    cut << value;
            }
        }
        dialog->reject();
    });
    if (tickList) {
        QString keys;
        PesquisaLista(&source, QStringLiteral("NROPCAITOREV"), QStringLiteral("Opções"), false, keys);
    } else {
        Pesquisar(&source, QStringLiteral("Opções|Não há opções."), false, true);
    }
    EXPECT_TRUE(cut.isEmpty()) << cut.join(", ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(ChoiceAndTickList, ListColumns, ::testing::Values(false, true));

TEST_F(QtServices, ThePasswordConfirmationWaitsInThePasswordBox)
{
    QString focused;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        focused = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        static_cast<QDialog*>(dialog)->reject();
    });
    EXPECT_FALSE(CriaConfSenha(QStringLiteral("SUP1"), QStringLiteral("Senha do supervisor"), QStringLiteral("Supervisor")));
    EXPECT_EQ(focused, "edtSenha");
}

} // namespace
