// The SysEx page: a .syx file sent whole, a SysEx dump recorded into a .syx file.

#include "Unit1.h"

void TForm1::SendbtnClick(QObject *) {}
void TForm1::GetBtnClick(QObject *) {}
void TForm1::doneBTNClick(QObject *) {}
void TForm1::MidiInput1MidiInput(QObject *) {}
