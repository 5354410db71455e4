#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// A tool tip with a bold title over its text, for a widget that explains more
// than a word (CTooltip). It answers the widget's tool-tip events itself, so
// the widget's own toolTip() stays free; texts are given translated.
class RichToolTip : public QObject
{
    Q_OBJECT
public:
    explicit RichToolTip(QWidget* tool);

    void setTitle(const QString& title) { m_title = title; }
    QString title() const { return m_title; }
    void setTipText(const QString& text) { m_text = text; }
    QString tipText() const { return m_text; }
    // Milliseconds the tip stays; -1 lets Qt choose from the text's length.
    void setVisibleTime(int msec) { m_visibleTime = msec; }
    // Shown below the tool's centre instead of at the mouse.
    void setCentered(bool centered) { m_centered = centered; }

    // What the tip shows; empty when there is neither title nor text.
    QString html() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_tool;
    QString m_title;
    QString m_text;
    int m_visibleTime = -1;
    bool m_centered = false;
};
