#include "MqttLink.h"

#include "PhonavoPlugin.h"

#include <QHostInfo>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <cerrno>

namespace {

constexpr int kConnectTimeoutMs = 15000;
constexpr int kTickMs = 1000;

void initLibraryOnce()
{
    // Never cleaned up: other code in the process may use the library too, and
    // its global state is only the TLS library's, which lives until exit anyway.
    static const int rc = mosquitto_lib_init();
    Q_UNUSED(rc)
}

QString errorText(int rc, int savedErrno)
{
    if (rc == MOSQ_ERR_ERRNO)
        return qt_error_string(savedErrno);
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

MqttLink::MqttLink(phonavo::PluginContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
    initLibraryOnce();
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &MqttLink::onTick);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttLink::resolve);
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(kConnectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        unwatchSocket();
        failed(tr(QStringLiteral("no answer")));
    });
}

MqttLink::~MqttLink()
{
    close();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

QString MqttLink::tr(const QString& text, const QStringList& args) const
{
    return m_context.translate(text, args);
}

QString MqttLink::brokerText() const
{
    return m_options.host + QLatin1Char(':') + QString::number(m_options.port);
}

void MqttLink::open(const Options& options)
{
    close();
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
    m_options = options;
    m_retryMs = qMax(1, options.retryFirstMs);
    m_nextAddress = 0;
    m_inOutage = false;
    m_loggedFailure.clear();

    m_mosq = mosquitto_new(options.clientId.toUtf8().constData(), true, this);
    if (!m_mosq) {
        m_context.log(
            tr(QStringLiteral("MQTT: cannot create the client: %s"), {qt_error_string(errno)}));
        return;
    }
    mosquitto_connect_callback_set(m_mosq, [](mosquitto*, void* self, int rc) {
        static_cast<MqttLink*>(self)->onConnack(rc);
    });
    if (!options.user.isEmpty()) {
        const QByteArray password = options.password.toUtf8();
        mosquitto_username_pw_set(m_mosq, options.user.toUtf8().constData(),
                                  options.password.isEmpty() ? nullptr : password.constData());
    }
    if (!options.willTopic.isEmpty())
        mosquitto_will_set(m_mosq, options.willTopic.toUtf8().constData(),
                           int(options.willPayload.size()), options.willPayload.constData(), 1,
                           true);
    if (options.tls) {
        const int rc = mosquitto_tls_set(m_mosq, nullptr, options.caPath.toUtf8().constData(),
                                         nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            m_context.log(tr(QStringLiteral("MQTT: cannot use TLS with the CA folder %s: %s"),
                             {options.caPath, errorText(rc, errno)}));
    }
    resolve();
}

void MqttLink::close()
{
    // A lookup under way is not aborted (Qt would never free its reply
    // slot): its answer is simply not the one waited for any more.
    m_lookupId = -1;
    m_retry.stop();
    m_tick.stop();
    m_connectTimeout.stop();
    if (m_mosq && m_state == State::Connected) {
        // DISCONNECT is written at once when the socket takes it; a few more
        // writes push out what is still waiting. The socket never blocks.
        mosquitto_disconnect(m_mosq);
        for (int i = 0; i < 16 && mosquitto_want_write(m_mosq); ++i)
            if (mosquitto_loop_write(m_mosq, 1) != MOSQ_ERR_SUCCESS)
                break;
    }
    unwatchSocket();
    m_state = State::Closed;
}

void MqttLink::resolve()
{
    if (!m_mosq)
        return;
    m_state = State::Resolving;
    const QHostAddress literal(m_options.host);
    if (!literal.isNull()) {
        m_addresses = {literal};
        connectTo(literal.toString());
        return;
    }
    // libmosquitto resolves a host name with a blocking getaddrinfo() even in
    // mosquitto_connect_async(), which would stall the program's only thread
    // on a slow DNS server; so the name is looked up here asynchronously and
    // the library is given an address.
    m_lookupId = QHostInfo::lookupHost(m_options.host, this, SLOT(onResolved(QHostInfo)));
}

void MqttLink::onResolved(const QHostInfo& info)
{
    if (info.lookupId() != m_lookupId)
        return; // an earlier lookup, given up since
    m_lookupId = -1;
    if (m_state != State::Resolving)
        return;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        failed(info.errorString());
        return;
    }
    m_addresses = info.addresses();
    // With TLS the library checks the broker's certificate against the name it
    // connected to, so it gets the name; the lookup just done has warmed the
    // resolver, and an address would fail that check.
    if (m_options.tls) {
        connectTo(m_options.host);
        return;
    }
    // Each attempt takes the next address, so a name with an address the
    // broker does not listen on (::1 beside 127.0.0.1) still gets through.
    connectTo(m_addresses.at(m_nextAddress % m_addresses.size()).toString());
}

void MqttLink::connectTo(const QString& address)
{
    m_state = State::Connecting;
    m_refusal.clear();
    m_connackOk = false;
    const int rc = mosquitto_connect_async(m_mosq, address.toUtf8().constData(), m_options.port,
                                           m_options.keepAliveSeconds);
    const int savedErrno = errno;
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING) {
        failed(errorText(rc, savedErrno));
        return;
    }
    watchSocket();
    if (m_state != State::Connecting)
        return;
    m_connectTimeout.start();
    m_tick.start();
    updateWriteInterest();
}

void MqttLink::watchSocket()
{
    unwatchSocket();
    const int fd = mosquitto_socket(m_mosq);
    if (fd < 0) {
        failed(tr(QStringLiteral("no socket")));
        return;
    }
    m_readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &MqttLink::onReadable);
    m_writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &MqttLink::onWritable);
}

void MqttLink::unwatchSocket()
{
    // Called from the notifiers' own signals too, so they are deleted later.
    for (auto* notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
}

void MqttLink::updateWriteInterest()
{
    if (m_writeNotifier && m_mosq)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));
}

void MqttLink::onReadable()
{
    const int rc = mosquitto_loop_read(m_mosq, 1);
    afterIo(rc, errno);
}

void MqttLink::onWritable()
{
    const int rc = mosquitto_loop_write(m_mosq, 1);
    afterIo(rc, errno);
}

void MqttLink::onTick()
{
    if (!m_mosq || mosquitto_socket(m_mosq) < 0)
        return;
    const int rc = mosquitto_loop_misc(m_mosq);
    afterIo(rc, errno);
}

// Called by the library from inside mosquitto_loop_read(); only notes the answer.
void MqttLink::onConnack(int rc)
{
    if (rc == 0)
        m_connackOk = true;
    else
        m_refusal = QString::fromUtf8(mosquitto_connack_string(rc));
}

// rc is the library's result of a read, write or keep-alive step; savedErrno
// the system error behind MOSQ_ERR_ERRNO.
void MqttLink::afterIo(int rc, int savedErrno)
{
    if (rc == MOSQ_ERR_CONN_PENDING)
        rc = MOSQ_ERR_SUCCESS;
    if (!m_mosq || m_state == State::Closed || m_state == State::Waiting)
        return;
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_mosq) < 0) {
        const bool wasConnected = m_state == State::Connected;
        m_connackOk = false;
        QString reason = m_refusal;
        if (reason.isEmpty())
            reason = errorText(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc, savedErrno);
        unwatchSocket();
        if (wasConnected) {
            m_context.log(tr(QStringLiteral("MQTT: lost the connection to the broker %s (%s)"),
                             {brokerText(), reason}));
            m_inOutage = true;
            m_loggedFailure = reason;
        }
        failed(reason);
        return;
    }
    if (m_connackOk) {
        m_connackOk = false;
        m_state = State::Connected;
        m_connectTimeout.stop();
        m_retryMs = qMax(1, m_options.retryFirstMs);
        m_inOutage = false;
        m_loggedFailure.clear();
        m_context.log(tr(QStringLiteral("MQTT: connected to the broker %s"), {brokerText()}));
        emit connected();
    }
    updateWriteInterest();
}

void MqttLink::failed(const QString& reason)
{
    m_state = State::Waiting;
    m_tick.stop();
    m_connectTimeout.stop();
    if (!m_inOutage || reason != m_loggedFailure) {
        if (!m_refusal.isEmpty())
            m_context.log(tr(QStringLiteral("MQTT: the broker %s refused the connection: %s"),
                             {brokerText(), reason}));
        else
            m_context.log(tr(QStringLiteral("MQTT: cannot reach the broker %s (%s); trying again"),
                             {brokerText(), reason}));
        m_inOutage = true;
        m_loggedFailure = reason;
    }
    m_refusal.clear();
    ++m_nextAddress;
    m_retry.start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, qMax(m_options.retryMaxMs, m_options.retryFirstMs));
}

bool MqttLink::publish(const QString& topic, const QByteArray& payload, bool retain)
{
    if (!m_mosq || m_state != State::Connected)
        return false;
    const int rc = mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(),
                                     int(payload.size()), payload.constData(), 1, retain);
    switch (rc) {
    case MOSQ_ERR_SUCCESS:
        break;
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_ERRNO:
        // The library keeps a QoS 1 message it could not write and sends it
        // again after reconnecting; the lost socket is noticed by the next
        // read, here only made sure of outside the caller's loop.
        QMetaObject::invokeMethod(
            this, [this] { afterIo(MOSQ_ERR_SUCCESS, 0); }, Qt::QueuedConnection);
        return true;
    default:
        m_context.log(
            tr(QStringLiteral("MQTT: cannot publish to %s: %s"), {topic, errorText(rc, errno)}));
        return false;
    }
    updateWriteInterest();
    return true;
}
