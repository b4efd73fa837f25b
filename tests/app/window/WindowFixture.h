// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTemporaryDir>

#include "FakeDialogs.h"
#include "LoopbackBackend.h"
#include "SettingsStore.h"
#include "Unit1.h"

// A window over the loopback MIDI service, its store in a fresh folder, its dialogs answered by
// the test. `Open` builds the window; `OpenWithOutput` also picks the first output device.
class WindowFixture : public ::testing::Test {
 protected:
  static constexpr const char *kOut = "Loopback Out 1";

  std::unique_ptr<TForm1> Open() { return std::make_unique<TForm1>(backend, file); }

  std::unique_ptr<TForm1> OpenWithOutput() {
    auto w = Open();
    w->midiout->setCurrentIndex(0);
    w->midioutChange(w->midiout);
    backend.ClearSent();
    return w;
  }

  void Store(const QString &section, const QString &name, const QString &text) {
    SettingsStore store(file);
    store.WriteString(section, name, text);
  }

  QString Stored(const QString &section, const QString &name) {
    SettingsStore store(file);
    return store.ReadString(section, name, "missing");
  }

  // The messages that reached the first output, as hex texts ("B0 1A 05").
  QStringList Sent() const {
    QStringList out;
    for (const QByteArray &m : backend.Sent(kOut)) out << QString(m.toHex(' ').toUpper());
    return out;
  }

  QTemporaryDir dir;
  QString file = dir.filePath("kelvane.ini");
  FakeDialogs dialogs;
  LoopbackBackend backend;
};
