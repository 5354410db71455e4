#pragma once

#include <QHash>
#include <QObject>
#include <QVariant>

class SettingsStore;

// The values of the main window's option controls, held by the controller so
// that the call handling can read them live with or without a window. Each
// value is addressed by the control's name (cbPopup, txtAcceptedNumber, ...),
// which is also the objectName of the widget the desktop front end binds to it.
class MainOptions : public QObject
{
    Q_OBJECT
public:
    struct Definition
    {
        const char* control;
        const char* subKey; // below the per-user root
        const char* valueName;
        QVariant defaultValue; // its type is the value's type
        bool scrambled = false;
        // A text box whose value is stored as the number it starts with.
        bool numeric = false;
    };
    static const QList<Definition>& definitions();

    explicit MainOptions(QObject* parent = nullptr);

    QVariant value(const QString& control) const;
    void setValue(const QString& control, const QVariant& value);
    bool flag(const QString& control) const { return value(control).toBool(); }
    QString text(const QString& control) const { return value(control).toString(); }
    int number(const QString& control) const { return value(control).toInt(); }

    void load(const SettingsStore& settings);
    // Writes every option; monitoring says whether the monitor runs now.
    void save(SettingsStore& settings, bool monitoring) const;

signals:
    void changed(const QString& control, const QVariant& value);

private:
    QHash<QString, QVariant> m_values;
};
