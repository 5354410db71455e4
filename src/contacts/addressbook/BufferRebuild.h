#pragma once

#include "AddressBookFiles.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <functional>

class ContactBuffer;

// One rebuild of the number buffer: every number of every card in a folder
// and its sub-folders. It reads a few files per turn of the event loop, so a
// large address book never freezes the program; the buffer's transaction
// keeps lookups on the old numbers until it is done.
class BufferRebuild : public QObject
{
    Q_OBJECT
public:
    BufferRebuild(ContactBuffer& buffer, QString folder, AddressBookFiles::Log log,
                  QObject* parent = nullptr);
    // Starts at the next turn of the loop; finished() follows in any case.
    void start();
    bool running() const { return m_running; }
    // Runs to the end now (benchmarks, tests that need the result at once).
    void runToEnd();

    // How long one turn may take before the loop gets its time back.
    static constexpr int kSliceMs = 20;

signals:
    // The rows written (0 when the buffer could not be written).
    void finished(int rows);

private:
    void slice();
    bool step(); // false when all is done
    void enterFolder(const QString& folder);
    void bufferFile(const QString& file);
    void finish();

    ContactBuffer& m_buffer;
    QString m_top;
    AddressBookFiles::Log m_log;
    QStringList m_folders;        // waiting to be read
    QStringList m_files;          // of the folder being read
    QStringList m_pendingFolders; // its sub-folders, visited when it has cards
    bool m_folderHasCards = false;
    bool m_running = false;
    bool m_writable = false;
    int m_rows = 0;
};
