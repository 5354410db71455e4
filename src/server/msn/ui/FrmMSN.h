#pragma once

#include "core/controller/Editors.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class LocGuru;

// "Edit MSN": name, own numbers and (with the server on) the clients of one
// own-number entry. Fields are checked when they lose the focus.
class FrmMSN : public QDialog, public MsnEditor
{
    Q_OBJECT
public:
    explicit FrmMSN(LocGuru& loc, QWidget* parent = nullptr);

    bool EditMSN(CMSN& entry, bool showClients) override;

    void load(const CMSN& entry, bool showClients);
    void apply(CMSN& entry) const;
    // The focus-loss checks; false when the name is empty (the focus stays).
    bool checkName();
    void checkMSN();
    void checkClients();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LocGuru& m_loc;
    QLineEdit* m_txtName = nullptr;
    QLineEdit* m_txtMSN = nullptr;
    QLineEdit* m_txtClients = nullptr;
    QLabel* m_lblClients = nullptr;
};
