#pragma once

#include "platform/SoundPlayer.h"

#include <QHash>
#include <QObject>

#include <functional>
#include <memory>

class QSoundEffect;

// Plays WAV files through Qt Multimedia (PulseAudio/PipeWire). Without an
// audio device nothing is heard; the reason is logged.
class QtSoundPlayer : public QObject, public SoundPlayer
{
    Q_OBJECT
public:
    explicit QtSoundPlayer(std::function<void(const QString&)> logger = {}, QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    QString play(const QString& filePath, const QString& alias) override;
    void stop(const QString& alias) override;
    void close(const QString& alias) override;

private:
    std::function<void(const QString&)> m_logger;
    QHash<QString, QSoundEffect*> m_effects;
};
