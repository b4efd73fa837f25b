// The MIDI output port.
