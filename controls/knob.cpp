// The rotary knob.
