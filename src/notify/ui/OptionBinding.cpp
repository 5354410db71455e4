#include "OptionBinding.h"

#include "core/controller/MainOptions.h"

#include <QCheckBox>
#include <QLineEdit>

namespace OptionBinding {

void bind(QCheckBox* box, MainOptions& options)
{
    const QString name = box->objectName();
    box->setChecked(options.flag(name));
    QObject::connect(box, &QCheckBox::toggled, &options,
                     [&options, name](bool on) { options.setValue(name, on); });
    QObject::connect(&options, &MainOptions::changed, box,
                     [box, name](const QString& control, const QVariant& value) {
                         if (control == name)
                             box->setChecked(value.toBool());
                     });
}

void bind(QLineEdit* edit, MainOptions& options)
{
    const QString name = edit->objectName();
    edit->setText(options.text(name));
    QObject::connect(edit, &QLineEdit::textEdited, &options,
                     [&options, name](const QString& text) { options.setValue(name, text); });
    QObject::connect(edit, &QLineEdit::editingFinished, edit,
                     [edit, &options, name] { edit->setText(options.text(name)); });
    QObject::connect(&options, &MainOptions::changed, edit,
                     [edit, name](const QString& control, const QVariant& value) {
                         if (control == name && !edit->hasFocus())
                             edit->setText(value.toString());
                     });
}

} // namespace OptionBinding
