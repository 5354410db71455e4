#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The text protocol between a Phonavo server and its clients: framing,
// parsing and the encodings inside parameters. No sockets here.
//
// A message is the command word, then for every parameter CR LF and the
// parameter, then one NUL. The text on the wire is 8-bit (Latin-1).
namespace WireProtocol {

constexpr char kRecordEnd = char(0xFF);
// Larger arrivals are dropped unread: no client has a reason to send them.
constexpr qsizetype kMaxArrival = 1024 * 1024;

// The messages of one arrival: split at NUL, every piece but the part after
// the last NUL handled, empty pieces skipped. Nothing is carried over.
QList<QByteArray> splitArrival(const QByteArray& arrival);
// The fields of one message; fields 0 to 4 always exist.
QStringList fields(const QByteArray& message);
QByteArray encode(const QString& command, const QStringList& parameters = {});

// The password field (field 2) of every listen in an arrival replaced by
// "*****", whatever its value and wherever the listen stands. A listen that an
// arrival ends before its password is complete leaves its framing in carry,
// so the rest of the password is masked at the start of the next arrival of
// that connection too. The result has the same messages as the arrival.
QByteArray maskPasswords(const QByteArray& arrival, QByteArray* carry = nullptr);
// Text for the log as it is: the NULs between messages as "\0", line breaks as " | ".
QString displayText(const QByteArray& bytes);
// Both: the text of an arrival (or of a message) for the log.
QString logText(const QByteArray& arrival);

// Time stamps "yyyymmddhhnnss"; a null date is empty text.
QString FormatStamp(const QDateTime& t);
// A stamp that is not 14 digits, or no real date, gives nothing (no replay).
std::optional<QDateTime> parseStamp(const QString& stamp);

// One record of a record list: fields joined with "|", ended by 0xFF.
QString record(const QStringList& fields);
QString deviceRecord(int id, const QString& displayName);

// A picture file as Base64 in lines of 76 characters joined by CR LF.
QString pictureText(const QByteArray& bytes);
QByteArray pictureBytes(const QStringList& fields, int pictureField);

// The listen list lets a number through when it is empty or names it.
bool listenAdmits(const QString& listenNumber, const QString& decidingNumber);

struct CallPicture
{
    QString extension; // without the dot
    QString base64;
};
QStringList incomingCallParameters(const QString& callId, const QString& caller,
                                   const QString& called, const QString& calledName,
                                   const QString& callerName, bool canReject,
                                   const QString& callerExtra,
                                   const std::optional<CallPicture>& picture);
QStringList outgoingCallParameters(const QString& callId, const QString& caller,
                                   const QString& callerName, const QString& dialled,
                                   const QString& calledName,
                                   const std::optional<CallPicture>& picture);

} // namespace WireProtocol
