#include "NotificationPage.h"

#include "OptionBinding.h"
#include "core/controller/MainOptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

NotificationPage::NotificationPage(MainOptions& options, QWidget* parent)
    : QWidget(parent), m_options(options)
{
    m_layout = new QVBoxLayout(this);
    m_cbPopup = named(new QCheckBox(QStringLiteral("Show a popup for every call")), "cbPopup");
    m_layout->addWidget(m_cbPopup);

    m_pbShowNotification = named(new QGroupBox(QStringLiteral("Popup")), "pbShowNotification");
    auto* grid = new QGridLayout(m_pbShowNotification);
    m_cbAutoHide =
        named(new QCheckBox(QStringLiteral("Close the popup &automatically after")), "cbAutoHide");
    m_txtAutoHideSeconds = named(new QLineEdit, "txtAutoHideSeconds");
    m_txtAutoHideSeconds->setValidator(new QIntValidator(1, 9999, m_txtAutoHideSeconds));
    // Wide enough for four digits in any font, no wider.
    m_txtAutoHideSeconds->setMaximumWidth(
        m_txtAutoHideSeconds->fontMetrics().horizontalAdvance(QStringLiteral("00000")) * 2);
    auto* lblSeconds = named(new QLabel(QStringLiteral("seconds")), "lblAutoHideSeconds");
    lblSeconds->setBuddy(m_txtAutoHideSeconds);
    auto* secondsRow = new QHBoxLayout;
    secondsRow->addWidget(m_cbAutoHide);
    secondsRow->addWidget(m_txtAutoHideSeconds);
    secondsRow->addWidget(lblSeconds);
    secondsRow->addStretch(1);
    grid->addLayout(secondsRow, 0, 0, 1, 3);

    m_slTransparency = named(new QSlider(Qt::Horizontal), "slTransparency");
    m_slTransparency->setRange(0, 100);
    m_slTransparency->setPageStep(10);
    auto* lblCaption =
        named(new QLabel(QStringLiteral("&Transparency:")), "lblTransparencyCaption");
    lblCaption->setBuddy(m_slTransparency);
    m_lblTransparency = named(new QLabel, "lblTransparency");
    m_lblTransparency->setProperty("Tag", QStringLiteral("!")); // a number, not a text
    // Room for "100%" so the slider does not jump while the value changes.
    m_lblTransparency->setMinimumWidth(
        m_lblTransparency->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    m_lblTransparency->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(lblCaption, 1, 0);
    grid->addWidget(m_slTransparency, 1, 1);
    grid->addWidget(m_lblTransparency, 1, 2);
    grid->setColumnStretch(1, 1);

    m_cbHideNotificationOnEndOfCall =
        named(new QCheckBox(QStringLiteral("Close the popup when the call &ends")),
              "cbHideNotificationOnEndOfCall");
    grid->addWidget(m_cbHideNotificationOnEndOfCall, 2, 0, 1, 3);
    m_layout->addWidget(m_pbShowNotification);
    m_layout->addStretch(1);

    for (QCheckBox* box : {m_cbPopup, m_cbAutoHide, m_cbHideNotificationOnEndOfCall})
        OptionBinding::bind(box, options);
    OptionBinding::bind(m_txtAutoHideSeconds, options);
    const QString transparency = m_slTransparency->objectName();
    m_slTransparency->setValue(options.number(transparency));
    showTransparency(m_slTransparency->value());
    connect(m_slTransparency, &QSlider::valueChanged, this, [this, transparency](int percent) {
        showTransparency(percent);
        m_options.setValue(transparency, percent);
    });
    connect(&options, &MainOptions::changed, this,
            [this, transparency](const QString& control, const QVariant& value) {
                if (control == transparency)
                    m_slTransparency->setValue(value.toInt());
            });
    connect(m_cbPopup, &QCheckBox::toggled, this, &NotificationPage::updateEnabled);
    connect(m_cbAutoHide, &QCheckBox::toggled, this, &NotificationPage::updateEnabled);
    updateEnabled();
}

void NotificationPage::addPluginGroup(QWidget* group)
{
    // The plug-in list takes the room the stretch held.
    delete m_layout->takeAt(m_layout->count() - 1);
    m_layout->addWidget(group, 1);
}

void NotificationPage::setLocked(bool locked)
{
    m_locked = locked;
    updateEnabled();
}

void NotificationPage::showTransparency(int percent)
{
    m_lblTransparency->setText(QString::number(percent) + QLatin1Char('%'));
}

void NotificationPage::updateEnabled()
{
    // The popup's options show only while there is a popup.
    m_pbShowNotification->setVisible(m_cbPopup->isChecked());
    m_cbPopup->setEnabled(!m_locked);
    m_pbShowNotification->setEnabled(!m_locked);
    m_txtAutoHideSeconds->setEnabled(m_cbAutoHide->isChecked());
}
