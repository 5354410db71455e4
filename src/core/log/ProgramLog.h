#pragma once

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <vector>

class QFile;

class LogListModel;

// The program log: every line goes to the log list (at most kMaxLines, newest
// last) and, while the debug or the log flag is set, to the log file. File
// lines are gathered and written together kFlushMs after the first of them,
// at kFlushBytes, on flush() and when the log goes away; the file is opened
// only for that, so no handle stays open. A file that grows past its size
// limit is moved to "<file>.1" and started anew. Control
// characters never reach a sink as they are: lines carry text from the network
// and from line devices, and the headless program prints them to a terminal.
class ProgramLog : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxLines = 32001;
    static constexpr qint64 kDefaultMaxFileBytes = 4 * 1024 * 1024;
    static constexpr int kFlushMs = 200;
    static constexpr qsizetype kFlushBytes = 64 * 1024;

    explicit ProgramLog(const QString& logFilePath, QObject* parent = nullptr);
    ~ProgramLog() override;

    void LogStr(const QString& text);
    // LogStr for code outside the controller: never lets an error out.
    void DoLogStr(const QString& text) noexcept;
    QString GetLogfilename() const { return m_path; }

    // Used before the main window exists and by error reports without one:
    // writes "<general date>: <text>" to the file only, and only while file
    // logging is on.
    void writeFileOnly(const QString& text);
    // Each run starts a fresh file (the previous run's rotated file goes too).
    void deleteLogFile();
    // Hands the gathered lines to the file now.
    void flush();
    QString rotatedFilename() const { return m_path + QStringLiteral(".1"); }
    void setMaxFileBytes(qint64 bytes) { m_maxFileBytes = bytes; }
    qint64 maxFileBytes() const { return m_maxFileBytes; }

    bool debugFlag() const { return m_debug; }
    void setDebugFlag(bool on);
    bool logFlag() const { return m_log; }
    void setLogFlag(bool on);
    bool fileLoggingOn() const { return m_debug || m_log; }

    // btnClearLog: empties the list; the file is kept.
    void clear();
    QStringList lines() const;
    // The list as lstLog shows it; owned by the log.
    LogListModel* model() const { return m_model; }

    // Headless mode: every list line is printed to standard output as well.
    void setEchoToStdout(bool on) { m_echo = on; }
    bool echoToStdout() const { return m_echo; }

    // "<short date> <long time>: ", the time without its zone.
    static QString timeStamp(const QDateTime& when, const QLocale& locale = QLocale::system());
    // The general date form: short date and long time, as in the log file.
    static QString formatGeneralDate(const QDateTime& when,
                                     const QLocale& locale = QLocale::system());
    // Folds CR LF pairs and lone CRs or LFs into " | " so a message is one line.
    static QString joinLines(const QString& text);
    // Control characters (C0, DEL, C1; so escape sequences too) written out as
    // "\xHH", the Unicode line separators and direction controls as "\uHHHH";
    // with keepLineFeeds, LF stays (the file-only writer's reports).
    static QString neutralised(const QString& text, bool keepLineFeeds = false);

signals:
    // Every line as it was added to the list.
    void lineLogged(const QString& line);
    // The same line without its time stamp: what the automation object's log
    // event carries (an empty text stays empty).
    void textLogged(const QString& text);
    void linesCleared();

private:
    void appendToFile(const QString& line);
    // Moves the full file aside; false when no new one can be opened.
    bool rotate(QFile& file);

    QString m_path;
    qint64 m_maxFileBytes = kDefaultMaxFileBytes;
    LogListModel* m_model;
    bool m_debug = false;
    bool m_log = false;
    bool m_echo = false;
    QByteArray m_pending;              // lines not yet in the file, each ending in '\n'
    std::vector<qsizetype> m_lineEnds; // where each of them ends in m_pending
    QTimer m_flushTimer;
    QString m_stampText; // the stamp of the second the last line was logged in
    QDate m_stampDate;
    int m_stampSecond = -1;
};
