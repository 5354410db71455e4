#include "AboutDialog.h"

#include "SysTray.h"
#include "core/controller/MainForm.h"
#include "loc/LocGuru.h"
#include "loc/ui/FormTranslator.h"
#include "platform/desktop/ShellOpen.h"
#include "shell/startup/Program.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Texts made here from data, not window captions of their own.
QLabel* dataLabel(const QString& text, const char* name)
{
    auto* label = named(new QLabel(text), name);
    label->setProperty("Tag", QStringLiteral("!"));
    return label;
}

} // namespace

AboutDialog::AboutDialog(LocGuru& loc, ShellOpener& shell, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Phonavo"));
    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* icon = dataLabel(QString(), "imgLogo");
    icon->setPixmap(SysTray::stateIcon(true).pixmap(64, 64, QIcon::Normal));
    layout->addWidget(icon, 0, 0, 4, 1, Qt::AlignTop);

    auto* product = dataLabel(QString::fromLatin1(MainForm::kProductName), "lblProduct");
    QFont bigger = product->font();
    bigger.setBold(true);
    bigger.setPointSizeF(bigger.pointSizeF() * 1.5);
    product->setFont(bigger);
    layout->addWidget(product, 0, 1);
    layout->addWidget(
        dataLabel(loc.GetS(QStringLiteral("Version %s"), Program::versionText()), "lblVersion"), 1,
        1);
    layout->addWidget(
        named(new QLabel(QStringLiteral("Caller identification and call monitoring for Linux.")),
              "lblDescription"),
        2, 1);
    const QString url = shell.homepageUrl();
    auto* website = dataLabel(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), url.toHtmlEscaped()),
        "lblWebsite");
    website->setTextFormat(Qt::RichText);
    website->setTextInteractionFlags(Qt::TextBrowserInteraction);
    website->setOpenExternalLinks(false);
    // Through the program's opener, so a failure is reported in its language.
    connect(website, &QLabel::linkActivated, this, [&shell] { shell.mnuWebsite(); });
    layout->addWidget(website, 3, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setText(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 4, 0, 1, 2);

    FormTranslator::TranslateForm(this, loc);
}
