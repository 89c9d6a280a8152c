#pragma once
// The names of the keyboard keys by DirectInput scan code: the vocabulary of Actions.cfg and of
// "key_assign". Codes 0x00..0xD3 have a slot; unnamed ones read "???".

#include <string>
#include <string_view>

namespace Input {

constexpr int kKeyNameCount = 0xD4; // 212 names, scan codes 0x00..0xD3

// The name of a scan code; "???" for an unnamed code or one beyond the table.
const std::string& KeyName(int scanCode);

// The first scan code whose name equals the text exactly (case-sensitive), or -1 when none
// does. "???" is a name too: it answers 0.
int KeyCodeFromName(std::string_view name);

} // namespace Input
