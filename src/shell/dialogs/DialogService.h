#pragma once

#include <QString>
#include <QStringList>

// Message-box style flags: one button set, optionally an icon and the default
// button, added together (YesNo + Question = 36).
namespace MsgStyle {
inline constexpr int OK = 0;
inline constexpr int OKCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
inline constexpr int DefaultButton2 = 256;
inline constexpr int DefaultButton3 = 512;

inline constexpr int ButtonMask = 0x0F;
inline constexpr int IconMask = 0x70;
inline constexpr int DefaultMask = 0x300;
} // namespace MsgStyle

// The button a box was closed with.
namespace MsgResult {
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace MsgResult

// The results of the style's buttons, left to right (an unknown set counts as OK).
QList<int> buttonResults(int style);
// What pressing Enter gives: the default button, the first one when the style
// names a default the box does not have.
int defaultButtonResult(int style);
// "OK", "Cancel", "Yes", ... for logs; the number for anything else.
QString resultName(int result);
// Boxes with an empty title carry the product name.
QString boxTitle(const QString& title);

// Every question the program asks the user goes through here: the desktop
// program shows real boxes, tests and the headless program answer by script.
class DialogService
{
public:
    virtual ~DialogService() = default;

    virtual int messageBox(const QString& prompt, int style, const QString& title) = 0;
    // Closes itself through its default button after `seconds` (none when <= 0).
    virtual int timedBox(const QString& prompt, int style, const QString& title, int seconds) = 0;
    // A box with a "don't show again" check box. Up to three captions replace the
    // standard button texts (empty keeps one); `checked` goes in as the box's
    // initial state and comes back as the state it was closed with.
    virtual int warningBox(const QString& prompt, int style, const QString& title,
                           const QStringList& buttonCaptions, const QString& checkBoxCaption,
                           bool& checked) = 0;
};
