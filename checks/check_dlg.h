#pragma once
// The consistency check dialog: choose checks on "Config", run them with
// "Start", read the findings on "Checking".

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class TTrace;

class Check_Dlg : public QDialog {
    Q_OBJECT

  public:
    // trace is not owned and must outlive the dialog.
    Check_Dlg(QWidget* parent, const TTrace* trace);

  public slots:
    // Runs the checked checks; every run starts with an empty output box.
    void checking();

  private:
    QPlainTextEdit* output_ = nullptr;
    QCheckBox* cb_term = nullptr;
    QCheckBox* cb_comm = nullptr;
    QCheckBox* cb_srpr = nullptr;
    const TTrace* trace_ = nullptr;
};
