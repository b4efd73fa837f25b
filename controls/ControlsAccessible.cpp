// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControlsAccessible.h"

#include <QAccessibleWidget>
#include <QLabel>

#include "DragTweak.h"
#include "KnobModel.h"
#include "knob.h"

namespace {

// The name a screen reader says: the control's own accessible name, else its label's text.
QString SpokenName(const QWidget *control, const QLabel *label) {
  if (!control->accessibleName().isEmpty()) return control->accessibleName();
  return label ? label->text() : QString();
}

// A knob as a dial: its value is Position within Min..Max. A screen reader that sets a value turns
// the knob as the keyboard does, so the owner sends it.
class KnobAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit KnobAccessible(tknob *knob) : QAccessibleWidget(knob, QAccessible::Dial) {}

  void *interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return SpokenName(Knob(), Knob()->NameLabel());
    if (t == QAccessible::Value) return QString::number(Knob()->Position());
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return Knob()->Position(); }
  void setCurrentValue(const QVariant &value) override {
    const TShiftState drag(ssLeft);
    Knob()->TurnTo(value.toInt(), drag);
    Knob()->EndTurn(TShiftState());
  }
  QVariant maximumValue() const override { return Knob()->Max(); }
  QVariant minimumValue() const override { return Knob()->Min(); }
  QVariant minimumStepSize() const override { return KnobModel::kStep; }

 private:
  tknob *Knob() const { return static_cast<tknob *>(object()); }
};

// A value box as a slider over its items: its value is the index of the item shown, and its
// text value the item itself ("Major").
class DragTweakAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit DragTweakAccessible(TDragTweak *box) : QAccessibleWidget(box, QAccessible::Slider) {}

  void *interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return SpokenName(Box(), Box()->NameLabel());
    if (t == QAccessible::Value) return Box()->Caption();
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return Box()->Position(); }
  void setCurrentValue(const QVariant &value) override { Box()->TurnTo(value.toInt()); }
  QVariant maximumValue() const override { return static_cast<int>(Box()->Items().size()) - 1; }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  TDragTweak *Box() const { return static_cast<TDragTweak *>(object()); }
};

QAccessibleInterface *ControlsFactory(const QString &className, QObject *object) {
  if (className == QLatin1String("tknob"))
    if (auto *knob = qobject_cast<tknob *>(object)) return new KnobAccessible(knob);
  if (className == QLatin1String("TDragTweak"))
    if (auto *box = qobject_cast<TDragTweak *>(object)) return new DragTweakAccessible(box);
  return nullptr;
}

}  // namespace

void InstallControlsAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(ControlsFactory);
    return true;
  }();
  (void)installed;
}

void NotifyValueChanged(QObject *control, int value) {
  if (!QAccessible::isActive()) return;
  QAccessibleValueChangeEvent changed(control, value);
  QAccessible::updateAccessibility(&changed);
}
