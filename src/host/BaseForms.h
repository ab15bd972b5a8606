#pragma once
// The base forms of the framework.
//
// TfrmRotiGeral: a modal processing dialog. Content goes into clientArea(); below it the
// panel panBotoes holds the screen-code label lblCodTela, the confirm button sbtConfirma
// and the close button sbtFechar.
//
// TfrmPadraoSimples: a modal maintenance window over one record. The menu mnuMenu with
// mnuManutencao and the toolbar panMenu offer include, delete, search, verify, print, post,
// cancel, help and close; dtsPadrao is the record's data source.
//
// Derived forms set themselves up in their constructor and then call their FormCreate,
// which runs the base's FormCreate first. FormClose runs when the window closes, whichever
// way (a handler's Close(), the window's close box, Escape); a silent abort in it keeps the
// window open.
//
// Read-only and disabled boxes keep their text readable: only their background says that
// they cannot be typed in.

#include <QDialog>

class QLabel;
class QMenu;
class QMenuBar;
class QAction;
class QHBoxLayout;
class TButtonFlat;
class TDataSource;
class TMessages;

class TfrmBase : public QDialog {
    Q_OBJECT
public:
    explicit TfrmBase(QWidget* parent = nullptr);
    // Cuts the form's handlers off before QDialog hides it: hiding moves the focus out of a box,
    // and nothing may run on a form whose own part is gone already.
    ~TfrmBase() override;

    QWidget* clientArea() const { return m_client; }

    // Shows the form modally through the installed host services; returns the modal result.
    int ShowModal();
    // Closes the form: FormClose runs (also for a form never shown), then the form hides.
    void Close();
    // Shows `text` in the band lblAviso above the form's content, for why the form was opened
    // or what it expects; an empty text hides the band.
    void ShowNotice(const QString& text);

    QLabel* lblCodTela;
    TMessages* msgPadrao;

protected:
    virtual void FormCreate() {}
    virtual void FormClose() {}

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override;

    QWidget* m_client;
    QLabel* m_notice = nullptr;
};

// Enter confirms (sbtConfirma is the default button); sbtFechar closes, as Escape does.
class TfrmRotiGeral : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmRotiGeral(QWidget* parent = nullptr);

    QWidget* panBotoes;
    TButtonFlat* sbtConfirma;
    TButtonFlat* sbtFechar;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class TfrmPadraoSimples : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmPadraoSimples(QWidget* parent = nullptr);

    QMenuBar* mnuMenu;
    QMenu* mnuManutencao;
    QWidget* panMenu;
    TButtonFlat *sbtIncluir, *sbtExcluir, *sbtProcurar, *sbtVerificar, *sbtImprimir;
    TButtonFlat *sbtGravar, *sbtCancelar, *sbtAjuda, *sbtFechar;
    QAction *mnuIncluir, *mnuExcluir, *mnuProcurar, *mnuVerificar, *mnuImprimir, *mnuConfImpressora;
    QAction *mnuGravar, *mnuCancelar, *mnuAjuda, *mnuFechar;
    TDataSource* dtsPadrao;
    TMessages* msgMensagensPadroes;

    // Adds a command of the derived form: a toolbar button and its menu item, which takes the
    // button's enabled state (never its visibility) and runs the same handler.
    QAction* AddCommand(TButtonFlat* button, const QString& menuName, const QString& menuCaption,
                        const QKeySequence& shortcut, const std::function<void()>& handler);
    // Gives a menu item its button's enabled state.
    static void Follow(QAction* item, const TButtonFlat* button);

    void Gravar();     // posts the record of dtsPadrao (its checks may stop it)
    void Cancelar();   // cancels the record's edit

protected:
    void FormCreate() override;
    void FormClose() override;
    virtual void dtsPadraoStateChange();

private:
    QHBoxLayout* m_toolbar;
};
