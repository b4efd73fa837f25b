// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "Dialogs.h"

// The real dialogs: Qt's message boxes and its file, font and colour dialogs, owned by the
// main window so that they stay on top of it.
class QtDialogs : public Dialogs {
 public:
  void SetOwner(QWidget *owner) { owner_ = owner; }

  bool Confirm(const QString &text) override;
  bool Inform(const QString &text) override;
  void ShowError(const QString &text) override;
  std::optional<QString> OpenFileName(const QString &title, const QString &filter) override;
  std::optional<QString> SaveFileName(const QString &title, const QString &filter) override;
  std::optional<QString> FontFace() override;
  std::optional<QColor> Colour() override;

 private:
  QWidget *Owner() const;
  QPointer<QWidget> owner_;
};
