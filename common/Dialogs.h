// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>
#include <optional>

// Every modal dialog of Kelvane goes through this seam, so that tests can answer dialogs and
// nothing ever blocks a test run. The application installs the Qt implementation at start-up;
// tests install their own.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A warning box titled "Warning" with Yes and No; true exactly when Yes was chosen.
  virtual bool Confirm(const QString &text) = 0;
  // An information box with one OK button; true when it was closed with OK.
  virtual bool Inform(const QString &text) = 0;
  // The application's error box: the text under the application's title, error icon, OK.
  virtual void ShowError(const QString &text) = 0;
  // File dialogs: the chosen path, or nothing when cancelled. `filter` is a Qt name filter.
  virtual std::optional<QString> OpenFileName(const QString &title, const QString &filter) = 0;
  virtual std::optional<QString> SaveFileName(const QString &title, const QString &filter) = 0;
  // The font dialog: the chosen face name, or nothing when cancelled.
  virtual std::optional<QString> FontFace() = 0;
  // The colour dialog: the chosen colour, or nothing when cancelled.
  virtual std::optional<QColor> Colour() = 0;

  static Dialogs &Current() { return *slot(); }
  // Installs `dialogs` (not owned) and returns the one it replaced.
  static Dialogs *Install(Dialogs *dialogs) {
    Dialogs *previous = slot();
    slot() = dialogs;
    return previous;
  }

 private:
  static Dialogs *&slot();
};

// Until the application installs its own, every dialog is declined at once: a library used
// without a window (a test, a benchmark) never blocks on a dialog nobody can see.
class DeclineAllDialogs : public Dialogs {
 public:
  bool Confirm(const QString &) override { return false; }
  bool Inform(const QString &) override { return false; }
  void ShowError(const QString &) override {}
  std::optional<QString> OpenFileName(const QString &, const QString &) override { return {}; }
  std::optional<QString> SaveFileName(const QString &, const QString &) override { return {}; }
  std::optional<QString> FontFace() override { return {}; }
  std::optional<QColor> Colour() override { return {}; }
};

inline Dialogs *&Dialogs::slot() {
  static DeclineAllDialogs declineAll;
  static Dialogs *current = &declineAll;
  return current;
}
