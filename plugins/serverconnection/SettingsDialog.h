#pragma once

#include "ConnectionSettings.h"

#include <QDialog>

class QLineEdit;
class QSpinBox;

namespace phonavo {
class PluginContext;
}

// Edits the server, port, password (masked) and the own numbers to listen to.
class SettingsDialog : public QDialog
{
    Q_OBJECT
public:
    SettingsDialog(const phonavo::PluginContext& context, const ConnectionSettings& settings);
    ConnectionSettings settings() const;

private:
    ConnectionSettings m_settings;
    QLineEdit* m_server;
    QSpinBox* m_port;
    QLineEdit* m_password;
    QLineEdit* m_numbers;
};
