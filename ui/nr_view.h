#pragma once
// NRView: the column left of the event explorer that labels each row with its
// process's node index and rank. It relays vertical scrolling, re-sorting and
// filter changes to the event explorer through signalUpdated().

#include <QWidget>

class TTrace;
class ViewFilter;

class NRView : public QWidget {
    Q_OBJECT
  public:
    explicit NRView(QWidget* parent = nullptr);

    // Non-owning; read only while open.
    void setData(TTrace* trace, ViewFilter* filter);
    // Draws now and, while open, emits signalUpdated(); nothing at all while
    // updates are disabled.
    void refresh();

    int pos() const { return pos_; }
    bool isOpen() const { return open_; }

  public slots:
    void setOpen(bool open);
    void setPos(int pos);

  signals:
    void signalUpdated();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int pos_ = 0;
    bool open_ = false;
    TTrace* trace_ = nullptr;
    ViewFilter* filter_ = nullptr;
};
