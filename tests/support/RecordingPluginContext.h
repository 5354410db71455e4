#pragma once

#include "plugins/api/PhonavoPlugin.h"

#include <QHash>
#include <QList>
#include <QPair>

#include <algorithm>
#include <functional>

// The host side as a plug-in under test sees it: settings in a hash, a
// recorded log, the active calls the test hands out, the actions chosen.
// Scrambling is not the identity by default, so a plug-in that forgets to
// unscramble a password is caught.
class RecordingPluginContext : public phonavo::PluginContext
{
public:
    explicit RecordingPluginContext(QString progId) : m_progId(std::move(progId)) {}

    QHash<QString, QString> settings;
    QStringList logLines;
    QHash<qint32, phonavo::CallInfo> calls;
    QList<QPair<qint32, QString>> chosen;
    bool isHeadless = true;
    std::function<QString(const QString&)> scrambler = [](const QString& plain) {
        return QString::fromLatin1(plain.toUtf8().toBase64());
    };
    std::function<QString(const QString&)> unscrambler = [](const QString& stored) {
        return QString::fromUtf8(QByteArray::fromBase64(stored.toLatin1()));
    };

    QString progId() const override { return m_progId; }
    QString setting(const QString& name, const QString& fallback) const override
    {
        return settings.value(name, fallback);
    }
    void saveSetting(const QString& name, const QString& value) override
    {
        settings.insert(name, value);
    }
    QString scramble(const QString& plain) const override { return scrambler(plain); }
    QString unscramble(const QString& stored) const override { return unscrambler(stored); }
    void log(const QString& text) override { logLines.append(text); }
    QString translate(const QString& text, const QStringList& args) const override
    {
        QString out = text;
        qsizetype at = 0;
        for (const QString& arg : args) {
            at = out.indexOf(QLatin1String("%s"), at);
            if (at < 0)
                break;
            out.replace(at, 2, arg);
            at += arg.size();
        }
        return out;
    }
    bool headless() const override { return isHeadless; }
    bool activeCall(qint32 callId, phonavo::CallInfo& call) const override
    {
        if (!calls.contains(callId))
            return false;
        call = calls.value(callId);
        return true;
    }
    bool storedCall(qint32, phonavo::CallInfo&) const override { return false; }
    bool startCall(const QString&) override { return false; }
    void chooseAction(qint32 callId, const QString& caption) override
    {
        chosen.append({callId, caption});
    }

    int logCount(const QString& part) const
    {
        return int(std::count_if(logLines.cbegin(), logLines.cend(),
                                 [&](const QString& line) { return line.contains(part); }));
    }
    bool logged(const QString& part) const { return logCount(part) > 0; }
    void reset()
    {
        settings.clear();
        calls.clear();
        logLines.clear();
        chosen.clear();
    }

private:
    QString m_progId;
};
