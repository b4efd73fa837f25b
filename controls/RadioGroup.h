// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>
#include <functional>

// A titled group of radio buttons with one selected item, as the window's "KnobPole" and
// "mode" groups need: the selection is an index, and a click by the user fires OnClick.
class TRadioGroup : public QGroupBox {
 public:
  TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent)
      : QGroupBox(caption, parent) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 2, 0);
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
      auto *button = new QRadioButton(items[i], this);
      buttons_.addButton(button, i);
      layout->addWidget(button);
    }
    connect(&buttons_, &QButtonGroup::idClicked, this, [this](int) {
      if (OnClick) OnClick(this);
    });
  }

  int ItemIndex() const { return buttons_.checkedId(); }
  // Selects an item without firing OnClick; an index outside the items clears the selection.
  void SetItemIndex(int index) {
    if (QAbstractButton *button = buttons_.button(index)) {
      button->setChecked(true);
      return;
    }
    buttons_.setExclusive(false);
    for (QAbstractButton *b : buttons_.buttons()) b->setChecked(false);
    buttons_.setExclusive(true);
  }
  QRadioButton *Item(int index) const {
    return static_cast<QRadioButton *>(buttons_.button(index));
  }

  std::function<void(QObject *Sender)> OnClick;

 private:
  QButtonGroup buttons_;
};
