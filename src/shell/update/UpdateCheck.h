#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class Clock;
class MainForm;
class QNetworkAccessManager;
class QNetworkReply;
class UpdateAnswer;

// Asks the vendor's site whether a newer version exists, at most once per
// UpdateInterVal days. The request runs in the background: start-up never
// waits for the network, and the answer is handled when it comes. The answer
// may ask the update question, open a page, show a message and set
// machine-wide settings, but only below the program's own key.
class UpdateCheck : public QObject
{
    Q_OBJECT
public:
    // Opens a web page with the desktop's handler.
    using Opener = std::function<void(const QString& url)>;

    // Qt has one inactivity time-out for a whole transfer; a few seconds let
    // a TLS handshake through on a slow line.
    static constexpr int kTimeoutMs = 5000;
    static constexpr int kMaxRedirects = 5;

    UpdateCheck(MainForm& form, Clock& clock, Opener open, QObject* parent = nullptr);
    ~UpdateCheck() override;

    // The built-in UpdateURL, set when the program is configured; empty when
    // the build has the check switched off.
    static QString defaultUrl();

    // Starts the check; false when it is not due (nothing asked) or switched
    // off in this build. finished() follows a started check in every case.
    bool start(bool forced);
    bool running() const { return m_reply != nullptr; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Both completed to four parts and compared part by part.
    static bool isNewer(const QString& candidate, const QString& running);
    // A sub-key an answer may write to: below the program's key, no climbing
    // out, no other hive, no absolute path.
    static bool allowedKeyPath(const QString& path);
    static QString runningVersion();

signals:
    // True when an answer was received and processed.
    void finished(bool processed);

private:
    void onFinished();
    void process(const UpdateAnswer& answer);
    void writeLastCheck();
    QString machineValue(const QString& name, const QString& fallback) const;

    MainForm& m_form;
    Clock& m_clock;
    Opener m_open;
    QNetworkAccessManager* m_net;
    QNetworkReply* m_reply = nullptr;
    int m_timeoutMs = kTimeoutMs;
};
