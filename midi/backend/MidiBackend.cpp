// The operating system's MIDI service behind the ports.
