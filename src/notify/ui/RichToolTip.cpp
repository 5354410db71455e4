#include "RichToolTip.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace {

QString asHtml(const QString& text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

} // namespace

RichToolTip::RichToolTip(QWidget* tool) : QObject(tool), m_tool(tool)
{
    tool->installEventFilter(this);
}

QString RichToolTip::html() const
{
    if (m_title.isEmpty() && m_text.isEmpty())
        return {};
    QString body;
    if (!m_title.isEmpty())
        body += QStringLiteral("<b>%1</b>").arg(asHtml(m_title));
    if (!m_title.isEmpty() && !m_text.isEmpty())
        body += QStringLiteral("<br>");
    body += asHtml(m_text);
    // The <qt> marks the text as rich even where it has no tag of its own;
    // its colours are the theme's tool-tip colours.
    return QStringLiteral("<qt>%1</qt>").arg(body);
}

bool RichToolTip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_tool || event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    const QString tip = html();
    if (tip.isEmpty())
        return false; // the widget's own tool tip, if any
    const auto* help = static_cast<QHelpEvent*>(event);
    const QPoint at = m_centered
                          ? m_tool->mapToGlobal(QPoint(m_tool->width() / 2, m_tool->height()))
                          : help->globalPos();
    QToolTip::showText(at, tip, m_tool, QRect(), m_visibleTime);
    return true;
}
