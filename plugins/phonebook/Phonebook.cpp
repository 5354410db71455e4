#include "Phonebook.h"

#include "CsvPhonebookReader.h"
#include "NumberKey.h"
#include "VCardReader.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

bool looksLikeVCard(const QString& path, const QByteArray& data)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return true;
    QByteArray start = data.left(64).trimmed();
    if (start.startsWith("\xEF\xBB\xBF"))
        start = start.mid(3).trimmed();
    return start.toUpper().startsWith("BEGIN:VCARD");
}

QString decodeCsv(const QByteArray& data)
{
    // A byte order mark names the encoding (and is dropped); without one the
    // file is UTF-8, or Latin-1 when it is not valid UTF-8.
    if (const auto bom = QStringConverter::encodingForData(data)) {
        QStringDecoder decoder(*bom, QStringDecoder::Flag::Stateless);
        return decoder.decode(data);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(data);
    return utf8.hasError() ? QString::fromLatin1(data) : text;
}

} // namespace

void Phonebook::refresh(const QString& path, int countryCode, qint64 recheckMs)
{
    if (path != m_path || countryCode != m_countryCode) {
        m_path = path;
        m_countryCode = countryCode;
        m_checked = false;
        m_modified = QDateTime();
        m_fileSize = -1;
        m_reportedProblem.clear();
    }
    if (m_checked && m_sinceCheck.elapsed() < recheckMs)
        return;
    m_checked = true;
    m_sinceCheck.start();

    const QFileInfo info(path);
    if (path.isEmpty()) {
        fail(QStringLiteral("Phone book: no file is set"), {});
        return;
    }
    if (!info.isFile()) {
        m_modified = QDateTime();
        m_fileSize = -1;
        fail(info.exists() ? QStringLiteral("Phone book: %s is not a file")
                           : QStringLiteral("Phone book: the file %s does not exist"),
             {path});
        return;
    }
    if (info.lastModified() == m_modified && info.size() == m_fileSize)
        return;
    m_modified = info.lastModified();
    m_fileSize = info.size();
    load(path);
}

void Phonebook::load(const QString& path)
{
    m_entries.clear();
    m_index.clear();
    if (m_fileSize > kMaxFileSize) {
        fail(QStringLiteral("Phone book: %s is larger than 20 MB and is not read"), {path});
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("Phone book: cannot read %s: %s"), {path, file.errorString()});
        return;
    }
    // Read at most one byte beyond the limit: the file may have grown since it was looked at.
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (data.size() > kMaxFileSize) {
        fail(QStringLiteral("Phone book: %s is larger than 20 MB and is not read"), {path});
        return;
    }
    if (looksLikeVCard(path, data)) {
        m_entries = VCardReader::read(data);
    } else {
        CsvPhonebookReader::Result csv = CsvPhonebookReader::read(decodeCsv(data));
        if (!csv.error.isEmpty()) {
            fail(csv.error, {path});
            return;
        }
        m_entries = std::move(csv.entries);
    }

    qsizetype numbers = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const PhonebookEntry& entry = m_entries.at(i);
        if (entry.name.isEmpty() && entry.extra.isEmpty() && entry.imageFile.isEmpty())
            continue; // nothing to tell about such a number
        for (const QString& number : entry.numbers) {
            const QString key = numberKey(number, m_countryCode);
            // The first contact with a number keeps it.
            if (!key.isEmpty() && !m_index.contains(key)) {
                m_index.insert(key, i);
                ++numbers;
            }
        }
    }
    m_reportedProblem.clear();
    m_log(QStringLiteral("Phone book: %s numbers of %s contacts read from %s"),
          {QString::number(numbers), QString::number(m_entries.size()), path});
}

void Phonebook::fail(const QString& text, const QStringList& args)
{
    m_entries.clear();
    m_index.clear();
    // Logged once: a lookup every few seconds must not fill the log with it.
    const QString problem = text + QLatin1Char('\n') + args.join(QLatin1Char('\n'));
    if (problem == m_reportedProblem)
        return;
    m_reportedProblem = problem;
    m_log(text, args);
}

const PhonebookEntry* Phonebook::find(const QString& number) const
{
    const auto it = m_index.constFind(numberKey(number, m_countryCode));
    return it == m_index.constEnd() ? nullptr : &m_entries.at(*it);
}
