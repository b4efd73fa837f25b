#pragma once

#include <QStringList>
#include <deque>

#include "Dialogs.h"

// Answers Kelvane's dialogs in tests: it records every question and error, and gives the
// answers queued beforehand (none queued: No, cancel).
class FakeDialogs : public Dialogs {
 public:
  FakeDialogs() : previous_(Dialogs::Install(this)) {}
  ~FakeDialogs() override { Dialogs::Install(previous_); }

  bool Confirm(const QString &text) override {
    confirms.push_back(text);
    return Next(confirmAnswers, false);
  }
  bool Inform(const QString &text) override {
    informs.push_back(text);
    return true;
  }
  void ShowError(const QString &text) override { errors.push_back(text); }
  std::optional<QString> OpenFileName(const QString &title, const QString &) override {
    titles.push_back(title);
    return Next(fileNames, std::optional<QString>());
  }
  std::optional<QString> SaveFileName(const QString &title, const QString &) override {
    titles.push_back(title);
    return Next(fileNames, std::optional<QString>());
  }
  std::optional<QString> FontFace() override { return Next(fontFaces, std::optional<QString>()); }
  std::optional<QColor> Colour() override { return Next(colours, std::optional<QColor>()); }

  QStringList confirms, informs, errors, titles;
  std::deque<bool> confirmAnswers;
  std::deque<std::optional<QString>> fileNames, fontFaces;
  std::deque<std::optional<QColor>> colours;

 private:
  template <class T, class U>
  static U Next(std::deque<T> &queue, U fallback) {
    if (queue.empty()) return fallback;
    U answer = queue.front();
    queue.pop_front();
    return answer;
  }
  Dialogs *previous_;
};
