#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include <deque>

// The lines of the program log as the main window's lstLog shows them, newest
// last. At either cap (lines, or the bytes the texts take) the oldest lines
// leave through beginRemoveRows, so a view only drops rows instead of resetting.
class LogListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit LogListModel(int maxLines, QObject* parent = nullptr);

    // The most memory the texts may take; the oldest lines go first.
    void setMaxBytes(qint64 bytes);
    qint64 maxBytes() const { return m_maxBytes; }
    qint64 bytes() const { return m_bytes; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void appendLine(const QString& line);
    void clear();
    QStringList lines() const;
    QString line(int row) const;
    int maxLines() const { return m_maxLines; }

private:
    void dropOldest(qsizetype count);

    std::deque<QString> m_lines;
    int m_maxLines;
    qint64 m_maxBytes = 4 * 1024 * 1024;
    qint64 m_bytes = 0;
};
