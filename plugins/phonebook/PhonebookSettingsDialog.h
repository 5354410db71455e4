#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

namespace phonavo {
class PluginContext;
}

// The phone book's settings: the file (typed or chosen) and the home country code.
class PhonebookSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    PhonebookSettingsDialog(const phonavo::PluginContext& context, const QString& file,
                            int countryCode);

    QString file() const;
    int countryCode() const;

private:
    void browse();

    const phonavo::PluginContext& m_context;
    QLineEdit* m_file = nullptr;
    QSpinBox* m_countryCode = nullptr;
};
