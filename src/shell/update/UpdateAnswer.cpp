#include "UpdateAnswer.h"

#include <QRegularExpression>

#include <libxml/parser.h>
#include <libxml/xpath.h>

namespace {

// Paths come from this program, never from the answer; still, only the plain
// forms it uses are turned into XPath.
bool plainPath(const QString& path)
{
    static const QRegularExpression form(
        QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\[@id=[0-9]+\\])?"
                       "(/[A-Za-z_][A-Za-z0-9_]*(\\[@id=[0-9]+\\])?)*$"));
    return form.match(path).hasMatch();
}

} // namespace

UpdateAnswer::UpdateAnswer(const QByteArray& body)
{
    if (body.size() > kMaxBytes) {
        m_error = QStringLiteral("the answer is larger than %1 bytes").arg(kMaxBytes);
        return;
    }
    // No network, no entities, no DTD: the answer is data, nothing more.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDocPtr doc =
        xmlReadMemory(body.constData(), int(body.size()), "update.xml", nullptr, options);
    if (!doc || !xmlDocGetRootElement(doc)) {
        if (doc)
            xmlFreeDoc(doc);
        const xmlError* last = xmlGetLastError();
        m_error = last && last->message ? QString::fromUtf8(last->message).trimmed()
                                        : QStringLiteral("the answer is not XML");
        return;
    }
    m_doc = doc;
}

UpdateAnswer::~UpdateAnswer()
{
    if (m_doc)
        xmlFreeDoc(static_cast<xmlDocPtr>(m_doc));
}

QString UpdateAnswer::text(const QString& path) const
{
    if (!m_doc || !plainPath(path))
        return QString();
    auto* doc = static_cast<xmlDocPtr>(m_doc);
    // Relative to the root element, whatever it is called.
    const QByteArray expression = QByteArrayLiteral("/*/") + path.toUtf8();
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    if (!context)
        return QString();
    QString result;
    xmlXPathObjectPtr found =
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.constData()), context);
    if (found && found->nodesetval && found->nodesetval->nodeNr > 0) {
        xmlChar* content = xmlNodeGetContent(found->nodesetval->nodeTab[0]);
        if (content) {
            result = QString::fromUtf8(reinterpret_cast<const char*>(content)).trimmed();
            xmlFree(content);
        }
    }
    if (found)
        xmlXPathFreeObject(found);
    xmlXPathFreeContext(context);
    return result;
}
