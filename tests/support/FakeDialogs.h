// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QList>
#include <QStringList>

#include "Dialogs.h"

// Answers Kelvane's dialogs in tests: it records every question and error, and gives the
// answers queued beforehand. With none queued a question is answered No and a file, font or
// colour dialog is cancelled; a queued empty text or invalid colour cancels too.
class FakeDialogs : public Dialogs {
 public:
  FakeDialogs() : previous_(Dialogs::Install(this)) {}
  ~FakeDialogs() override { Dialogs::Install(previous_); }

  bool Confirm(const QString &text) override {
    confirms.push_back(text);
    return !confirmAnswers.isEmpty() && confirmAnswers.takeFirst();
  }
  bool Inform(const QString &text) override {
    informs.push_back(text);
    return true;
  }
  void ShowError(const QString &text) override { errors.push_back(text); }
  std::optional<QString> OpenFileName(const QString &title, const QString &) override {
    titles.push_back(title);
    return TakeText(fileNames);
  }
  std::optional<QString> SaveFileName(const QString &title, const QString &) override {
    titles.push_back(title);
    return TakeText(fileNames);
  }
  std::optional<QString> FontFace() override { return TakeText(fontFaces); }
  std::optional<QColor> Colour() override {
    QColor answer = colours.isEmpty() ? QColor() : colours.takeFirst();
    if (!answer.isValid()) return std::nullopt;
    return answer;
  }

  QStringList confirms, informs, errors, titles;
  QList<bool> confirmAnswers;
  QStringList fileNames, fontFaces;
  QList<QColor> colours;

 private:
  static std::optional<QString> TakeText(QStringList &queue) {
    QString answer = queue.isEmpty() ? QString() : queue.takeFirst();
    if (answer.isEmpty()) return std::nullopt;
    return answer;
  }
  Dialogs *previous_;
};
