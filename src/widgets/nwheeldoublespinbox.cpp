#include "widgets/nwheeldoublespinbox.h"

#include <QVariant>
#include <QWheelEvent>

namespace {
// Code of the "NULL" item: no code chosen.
constexpr int kNoCode = -1;
}   // namespace

CustomComboBox::CustomComboBox(QWidget* parent) : QComboBox(parent), minValue(9999), maxValue(-9999), lastValidIndex(0)
{
    addItem(QStringLiteral("NULL"), kNoCode);
    setCurrentIndex(0);
    // Connected after the first selection so that construction does not run it.
    connect(this, &QComboBox::currentIndexChanged, this, &CustomComboBox::handleSelectionChange);
}

CustomComboBox::~CustomComboBox() = default;

void CustomComboBox::addValueItem(const QString& text, int value)
{
    addItem(text, value);
    if (value < minValue) minValue = value;
    if (value > maxValue) maxValue = value;
}

void CustomComboBox::setValue(int value)
{
    if (value < minValue || value > maxValue) {
        setCurrentIndex(0);
        return;
    }
    const int index = findData(value, Qt::UserRole);
    setCurrentIndex(index >= 0 ? index : 0);
}

int CustomComboBox::getValue() const { return currentData(Qt::UserRole).toInt(); }

void CustomComboBox::handleSelectionChange(int index)
{
    // "NULL" is never a choice: fall back to the last real code.
    if (itemData(index, Qt::UserRole).toInt() == kNoCode) {
        setCurrentIndex(lastValidIndex);
        return;
    }
    lastValidIndex = index;
}

nwheeldoublespinbox::nwheeldoublespinbox(QWidget* parent) : QDoubleSpinBox(parent) {}

nwheeldoublespinbox::~nwheeldoublespinbox() = default;

void nwheeldoublespinbox::wheelEvent(QWheelEvent* event) { Q_UNUSED(event); }
