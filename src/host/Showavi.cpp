#include "Showavi.h"

#include "HostServices.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QTimer>

#include <cmath>

void ActiveShowAvi(QWidget* mainForm, int kind) { HostServices().showWait(mainForm, kind); }
void DeactiveShowAvi() { HostServices().hideWait(); }

void ActiveShowAvi(QWidget* mainForm, TWaitKind kind) { ActiveShowAvi(mainForm, static_cast<int>(kind)); }

WaitScope::WaitScope(QWidget* mainForm, TWaitKind kind) { ActiveShowAvi(mainForm, kind); }

WaitScope::~WaitScope()
{
    // Services taken away meanwhile (the application ending) have nothing left to hide.
    if (HostServicesInstalled())
        Hide();
}

void WaitScope::Hide()
{
    if (!m_shown)
        return;
    m_shown = false;
    DeactiveShowAvi();
}

WaitCursor::WaitCursor(Qt::CursorShape shape) : m_set(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
{
    if (m_set)
        QGuiApplication::setOverrideCursor(shape);
}

WaitCursor::~WaitCursor()
{
    if (m_set)
        QGuiApplication::restoreOverrideCursor();
}

TWaitOverlay::TWaitOverlay(QWidget* over, int kind) : QWidget(over), m_timer(new QTimer(this)), m_kind(kind)
{
    setObjectName(QStringLiteral("aviEspera"));
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    if (over) {
        setGeometry(over->rect());
        over->installEventFilter(this);
    }
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 12;
        update();
    });
    m_timer->start(80);
    raise();
    show();
}

void TWaitOverlay::setKind(int kind)
{
    m_kind = kind;
    update();
}

bool TWaitOverlay::event(QEvent* event)
{
    // What the operator clicks or types over the animation goes nowhere.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        event->accept();
        return true;
    default:
        return QWidget::event(event);
    }
}

bool TWaitOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void TWaitOverlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(255, 255, 255, 150));
    const QPointF centre = QRectF(rect()).center();
    const double radius = 18;
    for (int i = 0; i < 12; ++i) {
        const double angle = (i * 30.0) * M_PI / 180.0;
        const int age = (m_step - i + 12) % 12;
        QColor c(40, 90, 160);
        c.setAlphaF(static_cast<float>(1.0 - age / 13.0));
        p.setPen(QPen(c, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre + QPointF(std::cos(angle), std::sin(angle)) * radius * 0.5,
                   centre + QPointF(std::cos(angle), std::sin(angle)) * radius);
    }
    p.setPen(Qt::black);
    const QString caption = m_kind == static_cast<int>(TWaitKind::Reading) ? QStringLiteral("Lendo dados...") : QStringLiteral("Processando...");
    p.drawText(QRectF(0, centre.y() + radius + 6, width(), 20), Qt::AlignHCenter | Qt::AlignTop, caption);
}
