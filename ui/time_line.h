#pragma once
// TimeLine: the time ruler below the event explorer. Ticks every scroll step,
// labelled in microseconds, milliseconds or seconds. Reads no trace data.

#include <QWidget>

class TimeLine : public QWidget {
    Q_OBJECT
  public:
    explicit TimeLine(QWidget* parent = nullptr);

    int offset() const { return offset_; }
    double zoom() const { return zoom_; }
    bool isOpen() const { return open_; }

  public slots:
    void Update();
    void setTOffset(int offset);
    void setZoom(double zoom);
    void setOpen(bool open);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double zoom_ = 1.0;
    int offset_ = 0;
    bool open_ = false;
};
