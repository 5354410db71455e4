#include "SourceTexts.h"

#include <QDirIterator>
#include <QFile>

#include <cctype>
#include <optional>

namespace SourceTexts {

namespace {

// Calls whose argument at the given position is a text to translate.
std::optional<int> textArgument(const QString& name)
{
    if (name == QStringLiteral("GetS") || name == QStringLiteral("getTranslation"))
        return 0;
    if (name == QStringLiteral("askQuestion") || name == QStringLiteral("showNotice"))
        return 1;
    return std::nullopt;
}

// Wrappers that only turn a literal into a string; their argument still is the text.
bool isWrapper(const QString& name)
{
    return name.isEmpty() || name == QStringLiteral("QStringLiteral") ||
           name == QStringLiteral("QLatin1String") || name == QStringLiteral("QString") ||
           name == QStringLiteral("QLatin1StringView") || name == QStringLiteral("fromUtf8") ||
           name == QStringLiteral("fromLatin1");
}

bool isIdentifierChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

class Scanner
{
public:
    Scanner(const QString& source, const QString& file) : m_s(source), m_file(file) {}

    QList<Text> run()
    {
        while (m_at < m_s.size())
            step();
        return m_found;
    }

private:
    struct Group
    {
        bool transparent;       // literals inside still belong to the text argument
        std::optional<int> arg; // a text call: which argument is the text
        int argIndex = 0;
        bool block = false; // a brace: what lies outside it is another statement
    };

    QChar at(qsizetype i) const { return i < m_s.size() ? m_s.at(i) : QChar(); }
    int lineAt(qsizetype pos) const { return static_cast<int>(m_s.left(pos).count(u'\n')) + 1; }

    // Inside the text argument of the innermost text call, through wrappers only.
    bool inTextArgument() const
    {
        for (qsizetype i = m_groups.size() - 1; i >= 0; --i) {
            const Group& g = m_groups[i];
            if (g.arg)
                return g.argIndex == *g.arg;
            if (!g.transparent || g.block)
                return false;
        }
        return false;
    }

    void skipSpaceAndComments()
    {
        while (m_at < m_s.size()) {
            const QChar c = m_s.at(m_at);
            if (c.isSpace()) {
                ++m_at;
            } else if (c == u'/' && at(m_at + 1) == u'/') {
                while (m_at < m_s.size() && m_s.at(m_at) != u'\n')
                    ++m_at;
            } else if (c == u'/' && at(m_at + 1) == u'*') {
                const qsizetype end = m_s.indexOf(QStringLiteral("*/"), m_at + 2);
                m_at = end < 0 ? m_s.size() : end + 2;
            } else {
                return;
            }
        }
    }

    QString readEscaped(QChar quote)
    {
        QString out;
        ++m_at; // opening quote
        while (m_at < m_s.size() && m_s.at(m_at) != quote && m_s.at(m_at) != u'\n') {
            QChar c = m_s.at(m_at++);
            if (c != u'\\' || m_at >= m_s.size()) {
                out += c;
                continue;
            }
            c = m_s.at(m_at++);
            switch (c.unicode()) {
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            case '0':
                out += QChar(0);
                break;
            case 'x': {
                qsizetype end = m_at;
                while (end < m_s.size() && isxdigit(m_s.at(end).toLatin1()))
                    ++end;
                out += QChar(m_s.mid(m_at, end - m_at).toUInt(nullptr, 16));
                m_at = end;
                break;
            }
            case 'u':
                out += QChar(m_s.mid(m_at, 4).toUShort(nullptr, 16));
                m_at += 4;
                break;
            default:
                out += c; // \\ \" \' \?
            }
        }
        ++m_at; // closing quote
        return out;
    }

    QString readRaw()
    {
        // R"delim( ... )delim"
        const qsizetype open = m_s.indexOf(u'(', m_at);
        if (open < 0) {
            m_at = m_s.size();
            return {};
        }
        const QString delimiter = m_s.mid(m_at + 1, open - m_at - 1);
        const QString close = u')' + delimiter + u'"';
        const qsizetype end = m_s.indexOf(close, open + 1);
        const QString text = m_s.mid(open + 1, (end < 0 ? m_s.size() : end) - open - 1);
        m_at = end < 0 ? m_s.size() : end + close.size();
        return text;
    }

    // A literal and the ones directly after it, joined.
    void literal(bool raw)
    {
        const qsizetype start = m_at;
        QString text = raw ? readRaw() : readEscaped(u'"');
        for (;;) {
            const qsizetype save = m_at;
            skipSpaceAndComments();
            qsizetype p = m_at;
            while (p < m_s.size() && isIdentifierChar(m_s.at(p)) && p - m_at < 3)
                ++p;
            const QString prefix = m_s.mid(m_at, p - m_at);
            if (at(p) == u'"' && (prefix.isEmpty() || prefix == QStringLiteral("u") ||
                                  prefix == QStringLiteral("u8") || prefix == QStringLiteral("L") ||
                                  prefix == QStringLiteral("U") || prefix.endsWith(u'R'))) {
                m_at = p;
                text += prefix.endsWith(u'R') ? readRaw() : readEscaped(u'"');
                continue;
            }
            m_at = save;
            break;
        }
        if (inTextArgument() && !text.isEmpty())
            m_found.append({text, m_file, lineAt(start)});
        m_lastIdentifier.clear();
    }

    void step()
    {
        skipSpaceAndComments();
        if (m_at >= m_s.size())
            return;
        const QChar c = m_s.at(m_at);
        if (c == u'"') {
            literal(false);
        } else if (c == u'\'') {
            // A digit separator (1'000) or a character literal.
            if (m_at > 0 && m_s.at(m_at - 1).isDigit())
                ++m_at;
            else
                readEscaped(u'\'');
            m_lastIdentifier.clear();
        } else if (isIdentifierChar(c)) {
            const qsizetype start = m_at;
            while (m_at < m_s.size() && isIdentifierChar(m_s.at(m_at)))
                ++m_at;
            const QString word = m_s.mid(start, m_at - start);
            if (at(m_at) == u'"' && (word == QStringLiteral("u") || word == QStringLiteral("u8") ||
                                     word == QStringLiteral("L") || word == QStringLiteral("U"))) {
                literal(false);
            } else if (at(m_at) == u'"' && word.endsWith(u'R') && word.size() <= 3) {
                literal(true);
            } else {
                m_lastIdentifier = word;
            }
        } else if (c == u'(') {
            ++m_at;
            const std::optional<int> arg = textArgument(m_lastIdentifier);
            m_groups.append({isWrapper(m_lastIdentifier), arg, 0});
            m_lastIdentifier.clear();
        } else if (c == u')') {
            ++m_at;
            if (!m_groups.isEmpty() && !m_groups.last().block)
                m_groups.removeLast();
            m_lastIdentifier.clear();
        } else if (c == u',') {
            ++m_at;
            if (!m_groups.isEmpty() && !m_groups.last().block)
                ++m_groups.last().argIndex;
            m_lastIdentifier.clear();
        } else if (c == u'{') {
            ++m_at;
            m_groups.append({false, std::nullopt, 0, true});
            m_lastIdentifier.clear();
        } else if (c == u'}' || c == u';') {
            // Ends the statement: groups left open inside it (macros, broken
            // code) are dropped; a brace also closes its block.
            ++m_at;
            while (!m_groups.isEmpty() && !m_groups.last().block)
                m_groups.removeLast();
            if (c == u'}' && !m_groups.isEmpty())
                m_groups.removeLast();
            m_lastIdentifier.clear();
        } else {
            ++m_at;
            m_lastIdentifier.clear();
        }
    }

    const QString& m_s;
    QString m_file;
    qsizetype m_at = 0;
    QString m_lastIdentifier;
    QList<Group> m_groups;
    QList<Text> m_found;
};

} // namespace

QList<Text> harvest(const QString& source, const QString& fileName)
{
    return Scanner(source, fileName).run();
}

QList<Text> harvestTree(const QString& dir)
{
    QStringList files;
    QDirIterator it(dir, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    QList<Text> texts;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        texts += harvest(QString::fromUtf8(file.readAll()), path);
    }
    return texts;
}

} // namespace SourceTexts
