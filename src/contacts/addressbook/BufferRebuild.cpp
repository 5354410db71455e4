#include "BufferRebuild.h"

#include "ContactBuffer.h"
#include "PhoneFields.h"
#include "core/devices/NumberRules.h"

#include <QTimer>

BufferRebuild::BufferRebuild(ContactBuffer& buffer, QString folder, AddressBookFiles::Log log,
                             QObject* parent)
    : QObject(parent), m_buffer(buffer), m_top(std::move(folder)), m_log(std::move(log))
{}

void BufferRebuild::start()
{
    m_running = true;
    m_rows = 0;
    m_writable = m_buffer.beginRebuild();
    if (!m_writable)
        m_log(QStringLiteral("Number buffer cannot be written: ") + m_buffer.error());
    m_folders = {m_top};
    m_files.clear();
    m_pendingFolders.clear();
    QTimer::singleShot(0, this, &BufferRebuild::slice);
}

void BufferRebuild::runToEnd()
{
    if (!m_running)
        start();
    while (step()) {
    }
    finish();
}

void BufferRebuild::slice()
{
    if (!m_running)
        return;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < kSliceMs)
        if (!step()) {
            finish();
            return;
        }
    QTimer::singleShot(0, this, &BufferRebuild::slice);
}

bool BufferRebuild::step()
{
    if (!m_files.isEmpty()) {
        bufferFile(m_files.takeFirst());
        if (m_files.isEmpty() && m_folderHasCards)
            m_folders = m_pendingFolders + m_folders;
        return true;
    }
    if (m_folders.isEmpty())
        return false;
    enterFolder(m_folders.takeFirst());
    return true;
}

void BufferRebuild::enterFolder(const QString& folder)
{
    m_files = AddressBookFiles::cardFiles(folder);
    m_pendingFolders = AddressBookFiles::subfolders(folder);
    // A folder without cards is not descended into, except the top one: a
    // root of address books (vdirsyncer's layout) holds only folders.
    m_folderHasCards = false;
    if (folder == m_top) {
        m_folders = m_pendingFolders + m_folders;
        m_pendingFolders.clear();
    }
}

void BufferRebuild::bufferFile(const QString& file)
{
    const QList<AddressBookContact> contacts = AddressBookFiles::readFile(file, m_log);
    if (!contacts.isEmpty())
        m_folderHasCards = true;
    if (!m_writable)
        return;
    for (const AddressBookContact& c : contacts) {
        for (const QString& number : PhoneFields::of(c.card).numbers())
            if (m_buffer.add(DigitsOnly(number), c.entryId, number))
                ++m_rows;
        m_buffer.addFile(c.entryId, c.filePath);
    }
}

void BufferRebuild::finish()
{
    if (!m_running)
        return;
    m_running = false;
    if (m_writable && !m_buffer.commitRebuild()) {
        m_log(QStringLiteral("Number buffer cannot be written: ") + m_buffer.error());
        m_rows = 0;
    }
    emit finished(m_rows);
}
