#pragma once
// The find bar: which calls to look for (function, rank, minimum duration,
// tag, peer), Next and Previous, and "Go to time".

#include "model/call_search.h"

#include <QWidget>
#include <optional>
#include <vector>

class QComboBox;
class QLineEdit;

class FindBar : public QWidget {
    Q_OBJECT
  public:
    explicit FindBar(QWidget* parent = nullptr);

    // The functions offered, besides "any function".
    void setFunctions(const std::vector<uint32_t>& ids);
    // The query of the fields; nullopt, with the reason in `error`, when a
    // field holds no valid value. Empty fields match anything.
    std::optional<CallQuery> query(QString& error) const;

    QComboBox* function() const { return function_; }
    QLineEdit* rank() const { return rank_; }
    QLineEdit* minDuration() const { return minDuration_; }
    QLineEdit* tag() const { return tag_; }
    QLineEdit* peer() const { return peer_; }
    QLineEdit* time() const { return time_; }

    // Puts the cursor in the first field.
    void activate();

  signals:
    void next();
    void previous();
    void goToTime(const QString& text);
    void closeRequested();

  private:
    QComboBox* function_ = nullptr;
    QLineEdit* rank_ = nullptr;
    QLineEdit* minDuration_ = nullptr;
    QLineEdit* tag_ = nullptr;
    QLineEdit* peer_ = nullptr;
    QLineEdit* time_ = nullptr;
};
