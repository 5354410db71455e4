#include "SysTray.h"

#include "core/controller/MainForm.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

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

QIcon SysTray::stateIcon(bool active)
{
    // imgTrayIconOn / imgTrayIconOff: a handset on a green or grey disc.
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(active ? QColor(0x2e, 0x9d, 0x48) : QColor(0x8a, 0x8f, 0x94));
    p.drawEllipse(2, 2, 60, 60);
    p.setBrush(Qt::white);
    p.drawRoundedRect(14, 20, 36, 10, 5, 5);
    p.drawRoundedRect(12, 26, 12, 16, 4, 4);
    p.drawRoundedRect(40, 26, 12, 16, 4, 4);
    p.end();
    return QIcon(pixmap);
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
