#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QPluginLoader>
#include <QString>

// Where the plug-ins of this build are: CTest sets PHONAVO_PLUGIN_PATH; a test
// run by hand from <build>/tests finds <build>/plugins beside it.
inline QString testPluginDir()
{
    const QString fromEnv = qEnvironmentVariable("PHONAVO_PLUGIN_PATH");
    if (!fromEnv.isEmpty())
        return fromEnv.split(QLatin1Char(':')).constFirst();
    QDir dir(QCoreApplication::applicationDirPath());
    while (!dir.exists(QStringLiteral("plugins")) && dir.cdUp()) {
    }
    return dir.filePath(QStringLiteral("plugins"));
}

// The full path of a built plug-in library, e.g. testPluginFile("phonavo_mqtt").
inline QString testPluginFile(const QString& baseName)
{
    return QDir(testPluginDir()).filePath(baseName + QStringLiteral(".so"));
}
