#pragma once
// The wait animation shown around groups of remote calls, over the window the operator is
// looking at: the modal dialog on top when there is one, else the main form.

#include <QWidget>

class QTimer;

// Shows the animation of `kind` (1: processing, 6: reading); `mainForm` is the window it covers
// when no modal dialog is open. A second call while it is shown only changes the kind.
// DeactiveShowAvi hides it; hiding twice is harmless.
void ActiveShowAvi(QWidget* mainForm, int kind);
void DeactiveShowAvi();

// Runs `step` with the animation of `kind` shown over `mainForm`, hidden again on every way out.
template <class Step>
void WithWait(QWidget* mainForm, int kind, Step&& step)
{
    ActiveShowAvi(mainForm, kind);
    try {
        step();
    } catch (...) {
        DeactiveShowAvi();
        throw;
    }
    DeactiveShowAvi();
}

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
