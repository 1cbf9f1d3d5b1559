#pragma once
// A pair of small arrow buttons that step a whole number within a range, shown beside the text box
// it feeds (its "buddy"). Unlike a spin box it has no text of its own, so what the user types into
// the buddy never changes its value: the buddy only displays it.
#include <QWidget>

class QToolButton;

class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    void setSingleStep(int step);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int value() const { return value_; }
    // A value outside the range is brought to the nearer end.
    void setValue(int value);
    void stepBy(int steps);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
    void setToolTip(const QString& tip); // on the control and on both arrows

signals:
    void valueChanged(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void enableArrows();

    QToolButton* up_;
    QToolButton* down_;
    int minimum_ = 0;
    int maximum_ = 99;
    int step_ = 1;
    int value_ = 0;
};
