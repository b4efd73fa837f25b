// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

QWidget *QtDialogs::Owner() const {
  return owner_ && owner_->isVisible() ? owner_.data() : nullptr;
}

bool QtDialogs::Confirm(const QString &text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text,
                  QMessageBox::Yes | QMessageBox::No, Owner());
  return box.exec() == QMessageBox::Yes;
}

bool QtDialogs::Inform(const QString &text) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok,
                  Owner());
  return box.exec() == QMessageBox::Ok;
}

void QtDialogs::ShowError(const QString &text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, Owner());
  box.exec();
}

std::optional<QString> QtDialogs::OpenFileName(const QString &title, const QString &filter) {
  QString name = QFileDialog::getOpenFileName(Owner(), title, QString(), filter);
  if (name.isEmpty()) return std::nullopt;
  return name;
}

std::optional<QString> QtDialogs::SaveFileName(const QString &title, const QString &filter) {
  // The receive dialog only names a file; Kelvane itself decides whether to replace it.
  QString name = QFileDialog::getSaveFileName(Owner(), title, QString(), filter, nullptr,
                                              QFileDialog::DontConfirmOverwrite);
  if (name.isEmpty()) return std::nullopt;
  return name;
}

std::optional<QString> QtDialogs::FontFace() {
  bool ok = false;
  QFont font = QFontDialog::getFont(
      &ok, QFont(), Owner(), QString(),
      QFontDialog::ScalableFonts | QFontDialog::ProportionalFonts | QFontDialog::MonospacedFonts);
  if (!ok) return std::nullopt;
  return font.family();
}

std::optional<QColor> QtDialogs::Colour() {
  QColor colour = QColorDialog::getColor(Qt::black, Owner());
  if (!colour.isValid()) return std::nullopt;
  return colour;
}
