#include "PictureFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QVariant>

QString GetTempFile(const QString& extension)
{
    QString prefix = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (prefix.isEmpty())
        prefix = QStringLiteral("phonavo");
    const QString suffix =
        extension.startsWith(QLatin1Char('.')) ? extension : QLatin1Char('.') + extension;
    QTemporaryFile file(QDir::tempPath() + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX") +
                        suffix);
    file.setAutoRemove(false);
    if (!file.open())
        return QString();
    return file.fileName();
}

bool SaveFieldToFile(const QVariant& field, const QString& fileName)
{
    QFile::remove(fileName);
    const QByteArray data = field.isNull() ? QByteArray() : field.toByteArray();
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 written = file.write(data);
    file.close();
    return written > 0 && file.error() == QFileDevice::NoError;
}
