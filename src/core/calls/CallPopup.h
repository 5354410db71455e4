#pragma once

#include <QObject>
#include <QVariant>

#include <memory>

// The window that shows one call to the user. The desktop front end provides
// the real popup; the headless program has none.
class CallPopup : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~CallPopup() override = default;

    virtual void ShowCall(const QString& callerNumber, const QString& calledNumber,
                          const QString& firstName, const QString& lastName, const QString& extra,
                          const QString& picturePath, const QString& actionLinks,
                          const QVariant& contact, const QString& callerGUID) = 0;
    // Closes the window; the object deletes itself afterwards.
    virtual void unload() = 0;
};

class CallPopupFactory
{
public:
    virtual ~CallPopupFactory() = default;
    virtual CallPopup* createPopup() = 0; // owned by the popup itself (deleteLater on unload)
};
