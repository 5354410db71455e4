#pragma once

#include "PhonavoPlugin.h"

#include <QDialog>

class QCheckBox;
class QSpinBox;

// Edits the plug-in's Timeout and CloseOnAnswer values; saves them on OK.
class DesktopNotifySettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DesktopNotifySettingsDialog(phonavo::PluginContext& context);

    void accept() override;

private:
    phonavo::PluginContext& m_context;
    QSpinBox* m_timeout = nullptr;
    QCheckBox* m_closeOnAnswer = nullptr;
};
