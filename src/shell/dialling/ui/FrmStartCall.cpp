#include "FrmStartCall.h"

#include "core/controller/MainForm.h"
#include "loc/ui/FormTranslator.h"
#include "shell/dialling/DialNumber.h"
#include "shell/settings/FormPosition.h"
#include "shell/settings/SettingsStore.h"
#include "shell/ui/WidgetFormWindow.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kKey = QString::fromLatin1(FrmStartCall::kSettingsKey);
}

FrmStartCall* FrmStartCall::StartCall(MainForm& form, const QString& number, QWidget* parent)
{
    auto* dialog = new FrmStartCall(form, number, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

FrmStartCall::FrmStartCall(MainForm& form, const QString& number, QWidget* parent)
    : QDialog(parent), m_form(form)
{
    setObjectName(QStringLiteral("frmStartCall"));
    setWindowTitle(QStringLiteral("Start call"));
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    m_txtNumber = new QLineEdit(this);
    m_txtNumber->setObjectName(QStringLiteral("txtNumber"));
    // Room for an international number with its prefix.
    m_txtNumber->setMinimumWidth(m_txtNumber->fontMetrics().horizontalAdvance(QLatin1Char('0')) *
                                 24);
    auto* lblNumber = new QLabel(QStringLiteral("&Number:"), this);
    lblNumber->setObjectName(QStringLiteral("lblNumber"));
    lblNumber->setBuddy(m_txtNumber);
    fields->addRow(lblNumber, m_txtNumber);
    layout->addLayout(fields);
    m_lblLetters = new QLabel(this);
    m_lblLetters->setObjectName(QStringLiteral("lblLetters"));
    m_lblLetters->setWordWrap(true);
    m_lblLetters->hide();
    layout->addWidget(m_lblLetters);

    auto* buttons = new QDialogButtonBox(this);
    m_btnStart = buttons->addButton(QStringLiteral("&Start call"), QDialogButtonBox::AcceptRole);
    m_btnStart->setObjectName(QStringLiteral("btnStart"));
    m_btnStart->setDefault(true);
    QPushButton* btnCancel =
        buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);
    connect(m_btnStart, &QPushButton::clicked, this, &FrmStartCall::btnStart_Click);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_txtNumber, &QLineEdit::textEdited, this, &FrmStartCall::numberEdited);
    connect(m_txtNumber, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_btnStart->setEnabled(!text.isEmpty()); });

    FormTranslator::TranslateForm(this, form.loc());
    const QString lastCalled =
        form.settings().GetSettingHKCU(kKey, QStringLiteral("LastCalled"), QString()).toString();
    m_txtNumber->setText(initialDialNumber(number, lastCalled));
    m_btnStart->setEnabled(!m_txtNumber->text().isEmpty());
    if (containsLetters(number))
        showLettersHint();
    m_txtNumber->selectAll();
    adjustSize();
    WidgetFormWindow window(this);
    FormPosition::RestoreFormPos(form.settings(), window, kKey, false);
}

void FrmStartCall::numberEdited(const QString& text)
{
    const QString pure = pureTelNumber2(text);
    if (containsLetters(text))
        showLettersHint();
    if (pure == text)
        return;
    // Keep the cursor where it was, counted in the characters that stay.
    const int cursor = int(pureTelNumber2(text.left(m_txtNumber->cursorPosition())).size());
    m_txtNumber->setText(pure);
    m_txtNumber->setCursorPosition(std::min(cursor, int(pure.size())));
}

void FrmStartCall::showLettersHint()
{
    // A vanity number ("0800 FLOWERS") would otherwise be dialled short without a word.
    m_lblLetters->setText(
        m_form.GetS(QStringLiteral("Letters cannot be dialled: only digits, * and # are kept.")));
    m_lblLetters->show();
}

void FrmStartCall::btnStart_Click()
{
    const QString number = m_txtNumber->text();
    if (number.isEmpty())
        return;
    m_form.settings().SaveSettingHKCU(kKey, QStringLiteral("LastCalled"), number);
    accept();
    m_form.StartCall(number);
}

void FrmStartCall::done(int result)
{
    WidgetFormWindow window(this);
    FormPosition::SaveFormPos(m_form.settings(), window, kKey);
    QDialog::done(result);
}
