#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The update server's answer: an XML document read by path ("ActVersion",
// "IfUpdate/UpdateURL", "SetRegVal/RegVal[@id=0]/Val"...) with libxml2's XPath.
// A missing node, or an answer that is not XML, reads as "".
class UpdateAnswer
{
public:
    // Answers larger than this are not read at all.
    static constexpr qsizetype kMaxBytes = 256 * 1024;

    explicit UpdateAnswer(const QByteArray& body);
    ~UpdateAnswer();
    UpdateAnswer(const UpdateAnswer&) = delete;
    UpdateAnswer& operator=(const UpdateAnswer&) = delete;

    bool valid() const { return m_doc != nullptr; }
    QString error() const { return m_error; }
    // The text of the first node at the path below the document's root element.
    QString text(const QString& path) const;

private:
    void* m_doc = nullptr; // xmlDoc
    QString m_error;
};
