#include "contacts/addressbook/VCard.h"

#include "contacts/addressbook/VCardProperty.h"

#include <QStringDecoder>

QString VCardContact::displayName() const
{
    if (const QString fn = formattedName.trimmed(); !fn.isEmpty())
        return fn;
    const QString fromN = QString(givenName.trimmed() + u' ' + familyName.trimmed()).trimmed();
    if (!fromN.isEmpty())
        return fromN;
    return organization.trimmed();
}

namespace {

bool isBlank(QByteArrayView line)
{
    for (char c : line) {
        const auto u = static_cast<uchar>(c);
        if (u > 0x20 && u != 0x7F)
            return false;
    }
    return true;
}

bool isBase64Text(QByteArrayView line)
{
    for (char c : line) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=' || c == ' ' ||
                        c == '\t';
        if (!ok)
            return false;
    }
    return true;
}

bool isCardMarker(const VCardProperty& property, QByteArrayView marker)
{
    return property.name == marker && property.value.trimmed().toUpper() == "VCARD";
}

QString mediaTypeFromParam(const QByteArray& type)
{
    const QString lower = QString::fromLatin1(type).toLower();
    if (lower.contains(u'/'))
        return lower;
    return lower == u"jpg" ? QStringLiteral("image/jpeg") : QStringLiteral("image/") + lower;
}

QString withoutPrefix(QString text, QStringView prefix)
{
    if (text.startsWith(prefix, Qt::CaseInsensitive))
        text.remove(0, prefix.size());
    return text;
}

// A URI scheme ("http:", "file:", "cid:") in front of the value.
bool hasUriScheme(QByteArrayView value)
{
    const qsizetype colon = value.indexOf(':');
    if (colon < 1)
        return false;
    for (qsizetype i = 0; i < colon; ++i) {
        const char c = value[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok)
            return false;
    }
    return true;
}

// Reads a whole file line by line: physical lines are joined into logical
// ones (folding, quoted-printable soft breaks, vCard 2.1's unindented Base64),
// logical lines into cards. A card that goes wrong is read to its end and
// reported; it never takes the cards around it with it.
class Reader
{
public:
    VCardParseResult run(QByteArrayView data);

private:
    struct Pending
    {
        QByteArray text;
        int line = 0;
        qsizetype headEnd = -1; // index of the first ':' once seen
        qsizetype searched = 0;
        bool quotedPrintable = false;
        bool base64 = false;
        bool oversize = false;
    };

    void physicalLine(QByteArrayView line, int number);
    void append(QByteArrayView text);
    void scanHead();
    void flush();
    void logicalLine(const QByteArray& text, int number, bool oversize);
    void beginCard(int number);
    void endCard();
    void failCard(int line, const QString& reason);
    void property(const VCardProperty& property, int number);
    void photo(const VCardProperty& property, int number);
    void reportStrayText();
    void addError(int card, int line, const QString& reason);

    VCardParseResult m_result;
    std::optional<Pending> m_pending;
    bool m_stopped = false;
    int m_cardCount = 0;
    int m_strayLine = 0; // first non-blank line outside a card not yet reported

    // The open card.
    bool m_inCard = false;
    int m_cardLine = 0;
    std::optional<VCardError> m_cardError;
    VCardContact m_contact;
    QByteArray m_version;
    bool m_hasPhoto = false;
    bool m_hasAddress = false;
    bool m_afterEmptyAgent = false;
    int m_agentDepth = 0; // inside a vCard 2.1 AGENT's embedded card
};

VCardParseResult Reader::run(QByteArrayView data)
{
    if (data.size() > VCard::MaxFileSize) {
        addError(0, 0,
                 QStringLiteral("the file is larger than %1 MiB").arg(VCard::MaxFileSize >> 20));
        return m_result;
    }
    QByteArray utf8;
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        // Some Windows exports are UTF-16; the line structure is ASCII in UTF-8.
        QStringDecoder utf16(data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                         : QStringDecoder::Utf16BE);
        utf8 = QString(utf16(data.sliced(2))).toUtf8();
        data = utf8;
    } else if (data.startsWith("\xEF\xBB\xBF")) {
        data = data.sliced(3);
    }

    int number = 0;
    qsizetype start = 0;
    while (start < data.size() && !m_stopped) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        QByteArrayView line = data.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        physicalLine(line, ++number);
        start = end + 1;
    }
    flush();
    if (m_inCard && !m_stopped) {
        failCard(m_cardLine, QStringLiteral("BEGIN:VCARD without END:VCARD"));
        endCard();
    }
    reportStrayText();
    return m_result;
}

void Reader::physicalLine(QByteArrayView line, int number)
{
    if (m_pending) {
        Pending& pending = *m_pending;
        scanHead();
        // "=" at the end of a quoted-printable value continues it on the next
        // line, unless a careless writer ended the card right there.
        if (pending.quotedPrintable && pending.text.endsWith('=') &&
            line.trimmed().toByteArray().toUpper() != "END:VCARD") {
            pending.text.chop(1);
            append(line);
            return;
        }
        if (line.startsWith(' ') || line.startsWith('\t')) {
            // vCard 2.1 keeps the folding blank; 3.0 and 4.0 drop it.
            append(m_version == "2.1" ? line : line.sliced(1));
            return;
        }
        if (pending.base64 && !line.isEmpty() && isBase64Text(line)) {
            append(line);
            return;
        }
        flush();
    }
    if (isBlank(line))
        return;
    m_pending = Pending{};
    m_pending->line = number;
    append(line);
}

void Reader::append(QByteArrayView text)
{
    Pending& pending = *m_pending;
    if (pending.oversize)
        return;
    // Room for the name and parameters on top of the value.
    constexpr qsizetype limit = VCard::MaxValueSize + 64 * 1024;
    if (pending.text.size() + text.size() > limit) {
        pending.oversize = true;
        pending.text.truncate(qMin(pending.text.size(), qsizetype(4096)));
        return;
    }
    pending.text.append(text);
}

void Reader::scanHead()
{
    Pending& pending = *m_pending;
    if (pending.headEnd >= 0 || pending.oversize)
        return;
    pending.headEnd = pending.text.indexOf(':', pending.searched);
    pending.searched = pending.text.size();
    if (pending.headEnd < 0)
        return;
    const QByteArray head = pending.text.left(pending.headEnd).toUpper();
    pending.quotedPrintable = head.contains("QUOTED-PRINTABLE");
    for (const QByteArray& param : head.split(';')) {
        const QByteArray p = param.trimmed();
        if (p == "BASE64" || p == "ENCODING=BASE64" || p == "ENCODING=B")
            pending.base64 = true;
    }
}

void Reader::flush()
{
    if (!m_pending)
        return;
    const Pending pending = std::move(*m_pending);
    m_pending.reset();
    logicalLine(pending.text, pending.line, pending.oversize);
}

void Reader::logicalLine(const QByteArray& text, int number, bool oversize)
{
    const Result<VCardProperty> parsed = VCardProperty::parse(text);
    if (parsed && isCardMarker(parsed.value(), "BEGIN")) {
        if (m_inCard && (m_afterEmptyAgent || m_agentDepth > 0)) {
            ++m_agentDepth;
            m_afterEmptyAgent = false;
            return;
        }
        if (m_inCard) {
            failCard(m_cardLine, QStringLiteral("BEGIN:VCARD without END:VCARD"));
            endCard();
        }
        reportStrayText();
        beginCard(number);
        return;
    }
    if (parsed && isCardMarker(parsed.value(), "END")) {
        if (!m_inCard) {
            m_strayLine = 0; // the stray text was this card's body
            addError(++m_cardCount, number, QStringLiteral("END:VCARD without BEGIN:VCARD"));
        } else if (m_agentDepth > 0) {
            --m_agentDepth;
        } else {
            endCard();
        }
        return;
    }
    if (!m_inCard) {
        if (m_strayLine == 0)
            m_strayLine = number;
        return;
    }
    if (m_agentDepth > 0)
        return;
    if (oversize) {
        failCard(number,
                 QStringLiteral("a value is larger than %1 MiB").arg(VCard::MaxValueSize >> 20));
        return;
    }
    if (!parsed) {
        failCard(number, parsed.error());
        return;
    }
    m_afterEmptyAgent = parsed.value().name == "AGENT" && parsed.value().value.trimmed().isEmpty();
    if (!m_cardError)
        property(parsed.value(), number);
}

void Reader::beginCard(int number)
{
    if (m_cardCount >= VCard::MaxCards) {
        addError(m_cardCount + 1, number,
                 QStringLiteral("the file holds more than %1 cards; the rest is not read")
                     .arg(VCard::MaxCards));
        m_stopped = true;
        return;
    }
    ++m_cardCount;
    m_inCard = true;
    m_cardLine = number;
    m_cardError.reset();
    m_contact = VCardContact{};
    m_version.clear();
    m_hasPhoto = false;
    m_hasAddress = false;
    m_afterEmptyAgent = false;
    m_agentDepth = 0;
}

void Reader::endCard()
{
    m_inCard = false;
    if (!m_cardError && m_contact.displayName().isEmpty() && m_contact.phones.isEmpty())
        failCard(m_cardLine, QStringLiteral("the card has no name, organization or phone number"));
    if (m_cardError)
        addError(m_cardError->card, m_cardError->line, m_cardError->reason);
    else
        m_result.contacts.append(m_contact);
}

void Reader::failCard(int line, const QString& reason)
{
    if (!m_cardError)
        m_cardError = VCardError{m_cardCount, line, reason};
}

void Reader::property(const VCardProperty& p, int number)
{
    const QByteArray& name = p.name;
    if (name == "VERSION") {
        m_version = p.value.trimmed();
    } else if (name == "FN") {
        if (m_contact.formattedName.isEmpty())
            m_contact.formattedName = p.text().trimmed();
    } else if (name == "N") {
        if (m_contact.familyName.isEmpty() && m_contact.givenName.isEmpty()) {
            const QStringList parts = p.components();
            QString* fields[] = {&m_contact.familyName, &m_contact.givenName,
                                 &m_contact.additionalNames, &m_contact.prefixes,
                                 &m_contact.suffixes};
            for (qsizetype i = 0; i < parts.size() && i < 5; ++i)
                *fields[i] = parts[i].trimmed();
        }
    } else if (name == "ORG") {
        if (m_contact.organization.isEmpty()) {
            QStringList units;
            for (const QString& unit : p.components()) {
                if (!unit.trimmed().isEmpty())
                    units.append(unit.trimmed());
            }
            m_contact.organization = units.join(QStringLiteral(", "));
        }
    } else if (name == "ADR") {
        if (m_hasAddress)
            return;
        // post office box; extended; street; locality; region; code; country
        const QStringList parts = p.components();
        for (int index : {2, 1, 0, 3, 4, 5, 6}) {
            if (index >= parts.size())
                continue;
            for (const QString& line : parts[index].split(u'\n')) {
                if (!line.trimmed().isEmpty())
                    m_contact.addressLines.append(line.trimmed());
            }
        }
        m_hasAddress = !m_contact.addressLines.isEmpty();
    } else if (name == "TEL") {
        QString number = p.text().trimmed();
        if (number.startsWith(u"tel:", Qt::CaseInsensitive)) {
            number = number.sliced(4);
            if (const qsizetype semicolon = number.indexOf(u';'); semicolon >= 0)
                number.truncate(semicolon); // ";ext=" and other URI parameters
        }
        number = number.trimmed();
        if (number.isEmpty())
            return;
        VCardPhone phone{number, {}};
        for (const QByteArray& type : p.paramValues("TYPE")) {
            const QString lower = QString::fromLatin1(type).toLower();
            if (!phone.types.contains(lower))
                phone.types.append(lower);
        }
        if (p.paramValues("PREF").contains("1") && !phone.types.contains(u"pref"))
            phone.types.append(QStringLiteral("pref"));
        m_contact.phones.append(phone);
    } else if (name == "EMAIL") {
        const QString email = withoutPrefix(p.text().trimmed(), u"mailto:");
        if (!email.isEmpty())
            m_contact.emails.append(email);
    } else if (name == "NOTE") {
        const QString note = p.text();
        if (!note.isEmpty())
            m_contact.note += (m_contact.note.isEmpty() ? QString() : QStringLiteral("\n")) + note;
    } else if (name == "UID") {
        m_contact.uid = withoutPrefix(p.text().trimmed(), u"urn:uuid:");
    } else if (name == "PHOTO") {
        if (!m_hasPhoto)
            photo(p, number);
    }
}

void Reader::photo(const VCardProperty& p, int number)
{
    const QByteArray value = p.value.trimmed();
    if (value.isEmpty())
        return;
    const auto fail = [&](const QString& why) {
        failCard(number, QStringLiteral("the photo ") + why);
    };
    QString mediaType;
    for (const QByteArray& type : p.paramValues("MEDIATYPE") + p.paramValues("TYPE")) {
        if (type.toUpper() != "PREF") {
            mediaType = mediaTypeFromParam(type);
            break;
        }
    }
    const QByteArrayList valueType = p.paramValues("VALUE");
    const bool markedUri = !valueType.isEmpty() && valueType.first().toUpper().startsWith("UR");

    if (p.encoding() == "B" || (!markedUri && !hasUriScheme(value))) {
        // Inline Base64: vCard 2.1 and 3.0, or a value with no other meaning.
        const Result<QByteArray> data = VCardText::fromBase64(value);
        if (!data)
            return fail(QStringLiteral("is not valid Base64"));
        m_contact.photoData = data.value();
        m_contact.photoMediaType = mediaType;
    } else if (value.first(qMin(value.size(), qsizetype(5))).toLower() == "data:") {
        // data:[<media type>][;base64],<data>
        const qsizetype comma = value.indexOf(',');
        if (comma < 0)
            return fail(QStringLiteral("is a data: URI without ','"));
        QByteArrayList head = value.mid(5, comma - 5).split(';');
        const bool base64 = head.size() > 1 && head.last().trimmed().toLower() == "base64";
        const QByteArrayView payload = QByteArrayView(value).sliced(comma + 1);
        if (base64) {
            const Result<QByteArray> data = VCardText::fromBase64(payload);
            if (!data)
                return fail(QStringLiteral("is not valid Base64"));
            m_contact.photoData = data.value();
        } else {
            m_contact.photoData = QByteArray::fromPercentEncoding(payload.toByteArray());
        }
        const QByteArray uriType = head.first().trimmed().toLower();
        m_contact.photoMediaType = uriType.isEmpty() ? mediaType : QString::fromLatin1(uriType);
    } else {
        m_contact.photoUri = QString::fromUtf8(value);
        m_contact.photoMediaType = mediaType;
    }
    m_hasPhoto = true;
}

void Reader::reportStrayText()
{
    if (m_strayLine == 0)
        return;
    addError(0, m_strayLine, QStringLiteral("text outside BEGIN:VCARD and END:VCARD"));
    m_strayLine = 0;
}

void Reader::addError(int card, int line, const QString& reason)
{
    const qsizetype count = m_result.errors.size();
    if (count < VCard::MaxErrors)
        m_result.errors.append({card, line, reason});
    else if (count == VCard::MaxErrors)
        m_result.errors.append({card, line, QStringLiteral("more errors follow; not listed")});
}

} // namespace

VCardParseResult VCard::parse(const QByteArray& data)
{
    return Reader().run(data);
}
