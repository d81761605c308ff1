#pragma once
// The consistency check dialog: choose checks on "Config", run them with
// "Start", read the findings on "Checking".

#include <QDialog>

#include <optional>

class QCheckBox;
class QPlainTextEdit;
class TTrace;

class Check_Dlg : public QDialog {
    Q_OBJECT

  public:
    // trace is not owned and must outlive the dialog.
    Check_Dlg(QWidget* parent, const TTrace* trace);

    // The process a double-clicked line named: its rank, and whether the
    // line is about the call it ended in. Set when such a line closed the dialog.
    struct Target {
        int rank = 0;
        bool lastCall = false;
    };
    std::optional<Target> target() const { return target_; }

  public slots:
    // Runs the checked checks; every run starts with an empty output box.
    void checking();
    // Closes the dialog with the process that the output's line names, if any.
    void openLine(int lineNumber);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPlainTextEdit* output_ = nullptr;
    QCheckBox* cb_term = nullptr;
    QCheckBox* cb_comm = nullptr;
    QCheckBox* cb_srpr = nullptr;
    const TTrace* trace_ = nullptr;
    std::optional<Target> target_;
};
