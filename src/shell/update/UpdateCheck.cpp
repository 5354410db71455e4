#include "UpdateCheck.h"

#include "UpdateAnswer.h"
#include "core/controller/MainForm.h"
#include "platform/Clock.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

const QString kStampFormat = QStringLiteral("yyyyMMddHHmm");

QList<qint64> versionParts(const QString& version)
{
    QList<qint64> parts;
    for (const QString& piece : QString(version + QStringLiteral(".0.0.0")).split(QLatin1Char('.')))
        parts << piece.trimmed().toLongLong();
    return parts.mid(0, 4);
}

} // namespace

UpdateCheck::UpdateCheck(MainForm& form, Clock& clock, Opener open, QObject* parent)
    : QObject(parent), m_form(form), m_clock(clock), m_open(std::move(open)),
      m_net(new QNetworkAccessManager(this))
{
    // http_proxy / https_proxy / no_proxy of the environment.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

UpdateCheck::~UpdateCheck()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

QString UpdateCheck::defaultUrl()
{
    return QStringLiteral(PHONAVO_UPDATE_URL);
}

QString UpdateCheck::runningVersion()
{
    return QStringLiteral("%1.%2.%3")
        .arg(PHONAVO_VERSION_MAJOR)
        .arg(PHONAVO_VERSION_MINOR)
        .arg(PHONAVO_VERSION_PATCH);
}

bool UpdateCheck::isNewer(const QString& candidate, const QString& running)
{
    const QList<qint64> a = versionParts(candidate);
    const QList<qint64> b = versionParts(running);
    for (int i = 0; i < 4; ++i)
        if (a[i] != b[i])
            return a[i] > b[i];
    return false;
}

bool UpdateCheck::allowedKeyPath(const QString& path)
{
    const QString p = path.trimmed();
    if (p.startsWith(QLatin1Char('\\')) || p.startsWith(QLatin1Char('/')) ||
        p.contains(QLatin1Char(':')) || p.contains(QLatin1Char('/')) ||
        p.contains(QLatin1String("HKEY_"), Qt::CaseInsensitive))
        return false;
    for (const QString& part : p.split(QLatin1Char('\\')))
        if (part.trimmed() == QLatin1String("..") || part.trimmed() == QLatin1String("."))
            return false;
    return true;
}

QString UpdateCheck::machineValue(const QString& name, const QString& fallback) const
{
    return m_form.settings().GetSettingHKLM(QString(), name, fallback).toString();
}

bool UpdateCheck::start(bool forced)
{
    if (m_reply || defaultUrl().isEmpty())
        return false;
    const QDateTime now = m_clock.now();
    if (!forced) {
        bool ok = false;
        int days = machineValue(QStringLiteral("UpdateInterVal"), QStringLiteral("14")).toInt(&ok);
        if (!ok)
            days = 14;
        const QString last = machineValue(QStringLiteral("LastUpdateCheck"),
                                          now.addDays(-20).toString(kStampFormat));
        if (last > now.addDays(-days).toString(kStampFormat))
            return false;
    }
    QString base = machineValue(QStringLiteral("UpdateURL"), QString());
    if (base.isEmpty()) {
        m_form.settings().SaveSettingHKLM(QString(), QStringLiteral("UpdateURL"), defaultUrl());
        base = machineValue(QStringLiteral("UpdateURL"), defaultUrl());
    }
    const QUrl url(base + QStringLiteral("&V=") + runningVersion());
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        m_form.LogStr(QStringLiteral("Update check: the address %1 cannot be asked").arg(base));
        writeLastCheck();
        emit finished(false);
        return true;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QString(QStringLiteral("Phonavo/") + runningVersion()));
    m_reply = m_net->get(request);
    // A huge answer is cut off instead of filling memory.
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > UpdateAnswer::kMaxBytes && m_reply)
            m_reply->abort();
    });
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::onFinished);
    return true;
}

void UpdateCheck::onFinished()
{
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    bool processed = false;
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        m_form.LogStr(QStringLiteral("Update check: no answer (%1)")
                          .arg(reply->error() != QNetworkReply::NoError
                                   ? reply->errorString()
                                   : QStringLiteral("HTTP status %1").arg(status)));
    } else {
        const UpdateAnswer answer(reply->read(UpdateAnswer::kMaxBytes + 1));
        if (!answer.valid()) {
            m_form.LogStr(QStringLiteral("Update check: the answer was not read: ") +
                          answer.error());
        } else {
            process(answer);
            processed = true;
        }
    }
    writeLastCheck();
    emit finished(processed);
}

void UpdateCheck::process(const UpdateAnswer& answer)
{
    const QString version = answer.text(QStringLiteral("ActVersion"));
    if (isNewer(version, runningVersion())) {
        QString message = answer.text(QStringLiteral("IfUpdate/UpdateMsg"));
        if (message.isEmpty())
            message = m_form.GetS(QStringLiteral("There is a newer version %s of Phonavo "
                                                 "available.{\\r}Do you want to open the "
                                                 "downloadpage now?"),
                                  version);
        if (answer.text(QStringLiteral("IfUpdate/AskUpdateBox")).toInt() == 1) {
            const int style = answer.text(QStringLiteral("IfUpdate/AskUpdateBoxStyle")).toInt();
            const int result = m_form.dialogs().messageBox(message, style, QString());
            const QString page = answer.text(QStringLiteral("IfUpdate/UpdateURL"));
            if (result == MsgResult::Yes && !page.isEmpty() && m_open)
                m_open(page);
        }
    }
    if (const QString page = answer.text(QStringLiteral("ForceURL")); !page.isEmpty() && m_open)
        m_open(page);
    if (const QString text = answer.text(QStringLiteral("ShowMsgBox")); !text.isEmpty())
        m_form.dialogs().messageBox(text, MsgStyle::Information, QString());
    for (int id = 0;; ++id) {
        const QString entry = QStringLiteral("SetRegVal/RegVal[@id=%1]/").arg(id);
        const QString value = answer.text(entry + QStringLiteral("Val"));
        if (value.isEmpty())
            break;
        const QString path = answer.text(entry + QStringLiteral("Path"));
        const QString name = answer.text(entry + QStringLiteral("Name"));
        if (!allowedKeyPath(path) || name.isEmpty() || name.contains(QLatin1Char('\\'))) {
            m_form.LogStr(QStringLiteral("Update check: the setting \"%1\" in \"%2\" is outside "
                                         "the program's key and was not written")
                              .arg(name, path));
            continue;
        }
        m_form.settings().SaveSettingHKLM(path.trimmed(), name, value);
    }
}

void UpdateCheck::writeLastCheck()
{
    m_form.settings().SaveSettingHKLM(QString(), QStringLiteral("LastUpdateCheck"),
                                      m_clock.now().toString(kStampFormat));
}
