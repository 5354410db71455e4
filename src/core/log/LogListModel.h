#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include <deque>

// The lines of the program log as the main window's lstLog shows them, newest
// last. At the cap the oldest line leaves through beginRemoveRows, so a view
// only drops one row instead of resetting.
class LogListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit LogListModel(int maxLines, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void appendLine(const QString& line);
    void clear();
    QStringList lines() const;
    QString line(int row) const;
    int maxLines() const { return m_maxLines; }

private:
    std::deque<QString> m_lines;
    int m_maxLines;
};
