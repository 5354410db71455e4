#pragma once

#include <QDialog>

class CallSimulator;
class MainForm;
class QCheckBox;
class QComboBox;
class QLineEdit;

// The simulation dialog: direction, both numbers and the device of a made-up
// call. Its choices are kept (Simulate) for the next time.
class FrmSimulateCall : public QDialog
{
    Q_OBJECT
public:
    // ShowForm: opens a new dialog that deletes itself when closed.
    static FrmSimulateCall* ShowForm(MainForm& form, CallSimulator& simulator, QWidget* parent);

    FrmSimulateCall(MainForm& form, CallSimulator& simulator, QWidget* parent = nullptr);

protected:
    void done(int result) override;

private:
    void btnSimulate_Click();

    MainForm& m_form;
    CallSimulator& m_simulator;
    QCheckBox* m_cbIncoming;
    QLineEdit* m_txtCallerID;
    QLineEdit* m_txtCalledID;
    QComboBox* m_cmbDevice;
};
