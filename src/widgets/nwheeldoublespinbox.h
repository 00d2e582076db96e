#ifndef NWHEELDOUBLESPINBOX_H
#define NWHEELDOUBLESPINBOX_H

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QString>

class QWheelEvent;

// Combo box whose items stand for integer codes. Item 0 is "NULL" (code -1);
// choosing an item with code -1 falls back to the last real code chosen.
class CustomComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit CustomComboBox(QWidget* parent = nullptr);
    ~CustomComboBox() override;

    void addValueItem(const QString& text, int value);
    void setValue(int value);
    int getValue() const;

private slots:
    void handleSelectionChange(int index);

private:
    int minValue;
    int maxValue;
    int lastValidIndex;
};

// Double spin box that ignores the mouse wheel, so scrolling a page of
// parameter rows never changes a value by accident.
class nwheeldoublespinbox : public QDoubleSpinBox {
    Q_OBJECT

public:
    explicit nwheeldoublespinbox(QWidget* parent = nullptr);
    ~nwheeldoublespinbox() override;

protected:
    void wheelEvent(QWheelEvent* event) override;
};

#endif   // NWHEELDOUBLESPINBOX_H
