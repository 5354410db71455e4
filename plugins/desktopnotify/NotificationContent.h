#pragma once

#include "PhonavoPlugin.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

// What one desktop notification for a call says, in the terms of the
// org.freedesktop.Notifications Notify method.
struct NotificationContent
{
    QString appIcon;
    QString summary;
    QString body;
    // The captions offered as actions; the key of caption i is "a<i>".
    QStringList actionCaptions;
    QVariantMap hints;
    qint32 expireTimeout = -1;

    // Notify's flat list: key, label, key, label, ... (empty captions left out).
    QStringList actionList() const;
};

// How the notifications of this plug-in look, from its settings.
struct NotificationOptions
{
    // Seconds the server shows a notification: 0 = the server's default,
    // -1 = until the call ends.
    int timeoutSeconds = 0;
    bool closeOnAnswer = false;
    // What the server advertised in GetCapabilities.
    bool bodyMarkup = false;
    bool actions = false;
    // The icon name used when the call has no picture.
    QString appIcon;
};

// Builds the notification for an incoming call; answered adds the line that
// says so and drops the actions, which no longer apply.
NotificationContent buildNotification(const phonavo::CallInfo& call,
                                      const NotificationOptions& options, bool answered,
                                      const phonavo::PluginContext& context);

// "phonavo" when the desktop's icon theme has the program's icon, else a
// standard icon of the freedesktop naming scheme.
QString notificationIconName();

// & < > as entities, for servers that read the body as markup.
QString escapeBodyMarkup(const QString& text);
