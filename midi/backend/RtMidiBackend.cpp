#include "RtMidiBackend.h"

QStringList CompiledRtMidiApis() {
  return {};
}

std::unique_ptr<MidiBackend> CreateRtMidiBackend(const QString &, bool) {
  return nullptr;
}
