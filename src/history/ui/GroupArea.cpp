#include "GroupArea.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>

GroupArea::GroupArea(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("fraGroupArea"));
    setFrameShape(QFrame::StyledPanel);
    setAcceptDrops(true);
    auto* layout = new QHBoxLayout(this);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("lblGroupArea"));
    m_label->setProperty("Tag", QStringLiteral("!")); // the window sets its text
    m_label->setWordWrap(true);
    m_ungroup = new QPushButton(this);
    m_ungroup->setObjectName(QStringLiteral("btnUngroup"));
    m_ungroup->setProperty("Tag", QStringLiteral("!"));
    layout->addWidget(m_label, 1);
    layout->addWidget(m_ungroup);
    connect(m_ungroup, &QPushButton::clicked, this, &GroupArea::ungroupRequested);
}

void GroupArea::showState(const QString& text, bool grouped, const QString& ungroupCaption)
{
    m_label->setText(text);
    m_ungroup->setText(ungroupCaption);
    m_ungroup->setVisible(grouped);
}

void GroupArea::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(mimeType()))
        event->acceptProposedAction();
}

void GroupArea::dropEvent(QDropEvent* event)
{
    if (takeDrop(event->mimeData()))
        event->acceptProposedAction();
}

bool GroupArea::takeDrop(const QMimeData* data)
{
    if (!data || !data->hasFormat(mimeType()))
        return false;
    emit columnDropped(QString::fromUtf8(data->data(mimeType())));
    return true;
}
