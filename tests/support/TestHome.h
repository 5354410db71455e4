#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh PHONAVO_HOME for one test: everything the program writes lands in a
// temporary folder that disappears with the object.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QByteArray read(const QString& name) const;
    void write(const QString& name, const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};
