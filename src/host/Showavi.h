#pragma once
// What the operator sees while the system works: the wait animation shown around groups of
// remote calls, over the window the operator is looking at (the modal dialog on top when there
// is one, else the main form), and the waiting cursor.

#include <QWidget>

class QTimer;

// The kinds of animation, by the number the host's services know them by.
enum class TWaitKind : int {
    Processing = 1,   // "Processando...": the system is doing the operator's work
    Reading = 6,      // "Lendo dados...": the system is reading what it shows next
};

// Shows the animation of `kind` (1: processing, 6: reading, as TWaitKind names them); `mainForm`
// is the window it covers when no modal dialog is open. A second call while it is shown only
// changes the kind. DeactiveShowAvi hides it; hiding twice is harmless.
void ActiveShowAvi(QWidget* mainForm, int kind);
void ActiveShowAvi(QWidget* mainForm, TWaitKind kind);
void DeactiveShowAvi();

// The animation for as long as a scope lasts: shown by the constructor, hidden by the destructor,
// so it is gone on every way out of the scope, a return or an exception alike.
//
//     {
//         const WaitScope wait(MainForm(), TWaitKind::Reading);
//         dataSet->SetData(CheckResultServ(net->Call(...)));
//     }
//
// A workflow that must take the animation away before the scope ends (to ask the operator
// something, say) calls Hide() at that point; the destructor then leaves alone whatever is shown
// by then. There is one animation: a scope opened while it is shown changes its kind, and the
// first scope to end hides it.
class WaitScope {
public:
    WaitScope(QWidget* mainForm, TWaitKind kind);
    ~WaitScope();
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

    // Hides the animation now; a second call does nothing.
    void Hide();

private:
    bool m_shown = true;
};

// The waiting cursor for as long as a scope lasts (the hourglass by default), the previous one
// back on every way out. Outside a graphical application, a command that only prints, it does
// nothing.
class WaitCursor {
public:
    explicit WaitCursor(Qt::CursorShape shape = Qt::WaitCursor);
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_set;
};

// The overlay the Qt services use: a translucent panel with a turning wheel and a caption,
// covering the window it is shown over. It repaints on its own timer, which keeps running
// while a remote call waits, and swallows mouse and key input.
class TWaitOverlay : public QWidget {
    Q_OBJECT
public:
    explicit TWaitOverlay(QWidget* over, int kind);
    void setKind(int kind);
    int kind() const { return m_kind; }

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer* m_timer;
    int m_kind;
    int m_step = 0;
};
