#include "AddressBookFiles.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

namespace AddressBookFiles {

QString defaultRoot()
{
    return AppPaths::addressBookDir();
}

QStringList cardFiles(const QString& folder)
{
    QStringList files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.vcf"), QStringLiteral("*.vcard")},
                                             QDir::Files | QDir::Readable, QDir::Name))
        files << dir.filePath(name);
    return files;
}

QStringList subfolders(const QString& folder)
{
    QStringList folders;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name))
        folders << dir.filePath(name);
    return folders;
}

QList<AddressBookContact> readFile(const QString& path, const Log& log)
{
    QList<AddressBookContact> contacts;
    QFile file(path);
    if (file.size() > kMaxFileSize) {
        log(QStringLiteral("Address book file %1 skipped: larger than %2 MiB")
                .arg(path)
                .arg(kMaxFileSize / (1024 * 1024)));
        return contacts;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        log(QStringLiteral("Address book file %1 cannot be read: %2")
                .arg(path, file.errorString()));
        return contacts;
    }
    const VCardParseResult parsed = VCard::parse(file.read(std::min(file.size(), kMaxFileSize)));
    for (const VCardError& e : parsed.errors)
        log(QStringLiteral("Address book file %1: card %2 (line %3) skipped: %4")
                .arg(path)
                .arg(e.card)
                .arg(e.line)
                .arg(e.reason));
    int withoutUid = 0;
    for (const VCardContact& card : parsed.contacts) {
        AddressBookContact c{card.uid, path, card};
        if (c.entryId.isEmpty())
            c.entryId = withoutUid++ == 0 ? path : path + QStringLiteral("#%1").arg(withoutUid);
        contacts << c;
    }
    return contacts;
}

QList<AddressBookContact> readFolder(const QString& folder, const Log& log)
{
    QList<AddressBookContact> contacts;
    for (const QString& file : cardFiles(folder))
        contacts += readFile(file, log);
    return contacts;
}

AddressBookContact findInFile(const QString& path, const QString& entryId, const Log& log)
{
    for (const AddressBookContact& c : readFile(path, log))
        if (c.entryId == entryId)
            return c;
    return {};
}

AddressBookContact createContact(const QString& folder, VCardContact card, QString* error)
{
    if (card.uid.isEmpty())
        card.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return {};
    }
    // A UID is the card's own text: only its safe characters name the file.
    QString base;
    for (QChar c : card.uid)
        base += c.isLetterOrNumber() || c == QLatin1Char('-') ? c : QLatin1Char('_');
    const QString path = QDir(folder).filePath(base + QStringLiteral(".vcf"));
    if (QFileInfo::exists(path)) {
        *error = QStringLiteral("%1 already exists").arg(path);
        return {};
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(VCard::write(card)) < 0 || !out.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, out.errorString());
        return {};
    }
    return AddressBookContact{card.uid, path, card};
}

} // namespace AddressBookFiles
