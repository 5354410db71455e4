#pragma once

#include <QFrame>

class QLabel;
class QMimeData;
class QPushButton;

// The strip above the history grid that a column header is dropped on to
// group the list by that column.
class GroupArea : public QFrame
{
    Q_OBJECT
public:
    static QString mimeType() { return QStringLiteral("application/x-phonavo-history-column"); }

    explicit GroupArea(QWidget* parent = nullptr);
    void showState(const QString& text, bool grouped, const QString& ungroupCaption);
    // What a drop hands over: true when it named a column.
    bool takeDrop(const QMimeData* data);

signals:
    void columnDropped(const QString& key);
    void ungroupRequested();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QLabel* m_label;
    QPushButton* m_ungroup;
};
