#include "SysTray.h"

#include "core/controller/MainForm.h"

#include <QIconEngine>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <algorithm>

SysTray::SysTray(MainForm& form, QMenu& trayMenu, QObject* parent)
    : QObject(parent), m_form(form), m_menu(trayMenu), m_icon(new QSystemTrayIcon(this))
{
    m_icon->setObjectName(QStringLiteral("frmSysTray"));
    m_icon->setContextMenu(&m_menu);
    connect(&m_menu, &QMenu::aboutToShow, this, &SysTray::menuAboutToShow);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    emit doubleClicked();
            });
    m_toolTip = QString::fromLatin1(MainForm::kProductName);
    m_icon->setToolTip(m_toolTip);
    m_icon->setIcon(stateIcon(false));
    m_icon->show();
}

SysTray::~SysTray()
{
    m_icon->hide();
}

namespace {

// imgTrayIconOn / imgTrayIconOff: a handset on a green or grey disc, drawn at
// the size and pixel ratio asked for, so the tray, the popup and the About
// window show it sharp on a screen of any scale.
class HandsetIconEngine : public QIconEngine
{
public:
    explicit HandsetIconEngine(bool active) : m_active(active) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const qreal s = std::min(rect.width(), rect.height()) / 64.0;
        painter->save();
        painter->translate(rect.x() + (rect.width() - 64 * s) / 2,
                           rect.y() + (rect.height() - 64 * s) / 2);
        painter->scale(s, s);
        painter->setRenderHint(QPainter::Antialiasing);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.45);
        painter->setPen(Qt::NoPen);
        painter->setBrush(m_active ? QColor(0x2e, 0x9d, 0x48) : QColor(0x8a, 0x8f, 0x94));
        painter->drawEllipse(QRectF(2, 2, 60, 60));
        painter->setBrush(Qt::white);
        painter->drawRoundedRect(QRectF(14, 20, 36, 10), 5, 5);
        painter->drawRoundedRect(QRectF(12, 26, 12, 16), 4, 4);
        painter->drawRoundedRect(QRectF(40, 26, 12, 16), 4, 4);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new HandsetIconEngine(m_active); }

private:
    bool m_active;
};

} // namespace

QIcon SysTray::stateIcon(bool active)
{
    return QIcon(new HandsetIconEngine(active));
}

void SysTray::setToolTip(const QString& text)
{
    const QString cut = text.left(kMaxToolTip);
    if (cut == m_toolTip)
        return;
    m_toolTip = cut;
    m_icon->setToolTip(cut);
}

void SysTray::refresh()
{
    const bool active = m_form.Active();
    setToolTip(m_form.GetS(active ? QStringLiteral("Phonavo - Waiting for calls")
                                  : QStringLiteral("Phonavo - idle")));
    if (active != m_activeIcon || m_icon->icon().isNull()) {
        m_activeIcon = active;
        m_icon->setIcon(stateIcon(active));
    }
}

void SysTray::reRegister()
{
    m_icon->hide();
    m_icon->show();
}
