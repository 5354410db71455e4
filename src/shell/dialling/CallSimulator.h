#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class MainForm;
class QTimer;

// A made-up call sent down the real call handling (popup, lookup, store,
// clients, plug-ins): announced at once, answered after tmrAnswerSimulCall,
// ended tmrCloseSimulCall later. It always has the call id 1.
class CallSimulator : public QObject
{
    Q_OBJECT
public:
    static constexpr qint32 kSimulatedCallId = 1;
    static constexpr int kAnswerAfterMs = 3000;
    static constexpr int kEndAfterMs = 10000;

    struct Request
    {
        bool incoming = true;
        QString callerId;
        QString calledId;
        qint32 deviceId = -1; // a line device, or 1000 + a connection plug-in's position
    };

    explicit CallSimulator(MainForm& form, QObject* parent = nullptr);

    // btnSimulate: a simulation still running is ended first.
    void simulate(const Request& request);
    bool running() const;

    // The devices a call can be simulated on: every line device but the
    // pseudo device, then the connection plug-ins' devices (name, device id).
    QList<QPair<QString, qint32>> devices() const;

    QTimer* answerTimer() const { return m_tmrAnswer; } // tmrAnswerSimulCall
    QTimer* closeTimer() const { return m_tmrClose; }   // tmrCloseSimulCall

private:
    void answerSimulatedCall();
    void endSimulatedCall();
    qint32 taggedCallId() const;

    MainForm& m_form;
    QTimer* m_tmrAnswer;
    QTimer* m_tmrClose;
};
