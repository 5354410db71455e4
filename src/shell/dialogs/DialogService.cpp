#include "DialogService.h"

QList<int> buttonResults(int style)
{
    using namespace MsgResult;
    switch (style & MsgStyle::ButtonMask) {
    case MsgStyle::OKCancel:
        return {OK, Cancel};
    case MsgStyle::AbortRetryIgnore:
        return {Abort, Retry, Ignore};
    case MsgStyle::YesNoCancel:
        return {Yes, No, Cancel};
    case MsgStyle::YesNo:
        return {Yes, No};
    case MsgStyle::RetryCancel:
        return {Retry, Cancel};
    default:
        return {OK};
    }
}

int defaultButtonResult(int style)
{
    const QList<int> results = buttonResults(style);
    const int index = (style & MsgStyle::DefaultMask) >> 8;
    return index < results.size() ? results[index] : results.first();
}

QString resultName(int result)
{
    switch (result) {
    case MsgResult::OK:
        return QStringLiteral("OK");
    case MsgResult::Cancel:
        return QStringLiteral("Cancel");
    case MsgResult::Abort:
        return QStringLiteral("Abort");
    case MsgResult::Retry:
        return QStringLiteral("Retry");
    case MsgResult::Ignore:
        return QStringLiteral("Ignore");
    case MsgResult::Yes:
        return QStringLiteral("Yes");
    case MsgResult::No:
        return QStringLiteral("No");
    default:
        return QString::number(result);
    }
}

QString boxTitle(const QString& title)
{
    return title.isEmpty() ? QStringLiteral("Phonavo") : title;
}
