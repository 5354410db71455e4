#include "PhonebookSettingsDialog.h"

#include "PhonavoPlugin.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

PhonebookSettingsDialog::PhonebookSettingsDialog(const phonavo::PluginContext& context,
                                                 const QString& file, int countryCode)
    : m_context(context)
{
    setWindowTitle(context.translate(QStringLiteral("Local phone book")));

    m_file = new QLineEdit(file, this);
    auto* browseButton = new QPushButton(context.translate(QStringLiteral("Browse...")), this);
    connect(browseButton, &QPushButton::clicked, this, &PhonebookSettingsDialog::browse);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browseButton);

    m_countryCode = new QSpinBox(this);
    m_countryCode->setRange(0, 999);
    m_countryCode->setValue(countryCode);

    auto* form = new QFormLayout;
    form->addRow(context.translate(QStringLiteral("Phone book file (CSV or vCard):")), fileRow);
    form->addRow(context.translate(QStringLiteral("Country code of national numbers:")),
                 m_countryCode);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(520, sizeHint().height());
}

QString PhonebookSettingsDialog::file() const
{
    return m_file->text().trimmed();
}

int PhonebookSettingsDialog::countryCode() const
{
    return m_countryCode->value();
}

void PhonebookSettingsDialog::browse()
{
    const QString chosen = QFileDialog::getOpenFileName(
        this, m_context.translate(QStringLiteral("Choose the phone book")),
        QFileInfo(file()).absolutePath(),
        m_context.translate(QStringLiteral("Phone books (*.csv *.txt *.vcf);;All files (*)")));
    if (!chosen.isEmpty())
        m_file->setText(chosen);
}
