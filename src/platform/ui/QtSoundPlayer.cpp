#include "QtSoundPlayer.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

QtSoundPlayer::QtSoundPlayer(std::function<void(const QString&)> logger, QObject* parent)
    : QObject(parent), m_logger(std::move(logger))
{
}

QtSoundPlayer::~QtSoundPlayer()
{
    for (const QString& alias : m_effects.keys())
        close(alias);
}

QString QtSoundPlayer::play(const QString& filePath, const QString& alias)
{
    close(alias);
    const QFileInfo info(filePath);
    if (!info.isFile() || !info.isReadable())
        return QStringLiteral("The specified file cannot be found: ") + filePath;
    if (QMediaDevices::audioOutputs().isEmpty()) {
        if (m_logger)
            m_logger(QStringLiteral("No audio output: ring sound not played"));
        return QStringLiteral("No audio output device");
    }
    auto* effect = new QSoundEffect(this);
    m_effects.insert(alias, effect);
    connect(effect, &QSoundEffect::statusChanged, this, [this, effect, filePath] {
        if (effect->status() == QSoundEffect::Error && m_logger)
            m_logger(QStringLiteral("Ring sound %1 could not be played").arg(filePath));
    });
    effect->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
    effect->play();
    return QStringLiteral("Success");
}

void QtSoundPlayer::stop(const QString& alias)
{
    if (QSoundEffect* effect = m_effects.value(alias))
        effect->stop();
}

void QtSoundPlayer::close(const QString& alias)
{
    if (QSoundEffect* effect = m_effects.take(alias)) {
        effect->stop();
        effect->deleteLater();
    }
}
