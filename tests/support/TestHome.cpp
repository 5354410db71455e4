#include "TestHome.h"

#include <QFile>

TestHome::TestHome()
{
    m_hadPrevious = qEnvironmentVariableIsSet("PHONAVO_HOME");
    m_previous = qgetenv("PHONAVO_HOME");
    qputenv("PHONAVO_HOME", m_dir.path().toLocal8Bit());
}

TestHome::~TestHome()
{
    if (m_hadPrevious)
        qputenv("PHONAVO_HOME", m_previous);
    else
        qunsetenv("PHONAVO_HOME");
}

QByteArray TestHome::read(const QString& name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestHome::write(const QString& name, const QByteArray& content) const
{
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
}
