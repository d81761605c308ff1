#pragma once
// The details panel: every field of the selected call, the calls its
// messages link it with ("Go to partner"), and the calls before and after it
// in its process.

#include "model/call_details.h"
#include "model/call_search.h"

#include <QWidget>
#include <optional>

class QFormLayout;
class QLabel;
class QListWidget;
class QPushButton;
class TTrace;

class DetailsPanel : public QWidget {
    Q_OBJECT
  public:
    explicit DetailsPanel(QWidget* parent = nullptr);

    // Shows the call (nullopt or no trace: an empty panel), its times
    // counted from `origin` as the ruler counts them.
    void showCall(const TTrace* trace, std::optional<CallRef> call, int64_t origin);

    // The shown value of a field ("Function", "Start", ...); empty when none.
    QString field(const QString& label) const;
    QListWidget* partners() const { return partners_; }

  public slots:
    // Goes to the partner chosen in the list, or the first one.
    void goToPartner();

  signals:
    void goTo(CallRef call);

  private:
    QFormLayout* form_ = nullptr;
    std::vector<QLabel*> values_;
    std::vector<QString> labels_;
    QLabel* empty_ = nullptr;
    QListWidget* partners_ = nullptr;
    QPushButton* partner_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    std::vector<CallRef> partnerRefs_;
    std::optional<CallRef> previousRef_, nextRef_;
};
