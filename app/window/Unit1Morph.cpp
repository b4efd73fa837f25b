// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The glide to a snapshot (Alt+click on a recorded one): every bank knob moves from where it
// stands to the snapshot's position over the Setup page's glide time, sending each position it
// takes on the way, never the same one twice.
//
// Every function here runs on the GUI thread, inside the handler guard.

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QTimer>

#include "SettingsStore.h"
#include "Unit1.h"
#include "WindowHelpers.h"
#include "knob.h"

void TForm1::StartMorph(const QString &section) {
  SnapshotMorph::Positions from{}, to{};
  for (int k = 1; k <= SnapshotMorph::kKnobs; ++k) {
    tknob *dial = BankKnob(k);
    from[k - 1] = dial->Position();
    // Where a recall would put the knob: a missing value is 0, the knob's range holds.
    const int stored = Settings_->ReadInteger(section, QStringLiteral("knob%1").arg(k), 0);
    to[k - 1] = std::clamp<int>(ToWord(stored), dial->Min(), dial->Max());
  }
  morph_.Start(from, to, static_cast<int64_t>(morphtime->value() * 1000 + 0.5));
  morphClock_->start();
  morphTimer_->start();
}

void TForm1::EndMorph() {
  morph_.Stop();
  morphTimer_->stop();
}

void TForm1::MorphStep() {
  if (!morph_.Running()) return EndMorph();
  const int64_t elapsed = morphClock_->elapsed();
  // A failed send ends the glide with its error, as it ends a recall.
  try {
    for (int k = 1; k <= SnapshotMorph::kKnobs; ++k) {
      const std::optional<int> position = morph_.PositionAt(k - 1, elapsed);
      tknob *dial = BankKnob(k);
      if (!position || *position == dial->Position()) continue;
      dial->SetPosition(*position);
      morphSending_ = true;
      knob1MouseMove(dial, ssLeft, 0, 0);
      morphSending_ = false;
    }
  } catch (...) {
    morphSending_ = false;
    EndMorph();
    throw;
  }
  if (morph_.Finished(elapsed)) EndMorph();
}

void TForm1::KnobTaken(const tknob *dial) {
  if (morphSending_ || !morph_.Running()) return;
  morph_.Release(dial->Tag() - 1);
  if (!morph_.Running()) EndMorph();
}
