#pragma once

#include <QString>

// Plays ring sounds under an alias, so a sound can be stopped by name.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    // "Success", or the reason the sound could not be played.
    virtual QString play(const QString& filePath, const QString& alias) = 0;
    virtual void stop(const QString& alias) = 0;
    virtual void close(const QString& alias) = 0;
};

// For programs without audio (the headless server): nothing is played.
class SilentSoundPlayer : public SoundPlayer
{
public:
    QString play(const QString& filePath, const QString& alias) override
    {
        Q_UNUSED(filePath);
        Q_UNUSED(alias);
        return QStringLiteral("No audio output in this program");
    }
    void stop(const QString& alias) override { Q_UNUSED(alias); }
    void close(const QString& alias) override { Q_UNUSED(alias); }
};
